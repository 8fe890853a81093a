#pragma once

#include <cstdint>
#include <string>

#include "platform/os_result.h"

namespace dpc {

// What changes when a file is rewritten: its size and its last-write time.
struct FileStamp {
  uint64_t size = 0;
  uint64_t lastWrite = 0;  // 100-nanosecond ticks since 1601 (a FILETIME)
  bool operator==(const FileStamp&) const = default;
};

// Plain files, by UTF-8 path.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // True for an existing file, false for a folder or nothing.
  virtual bool FileExists(const std::string& path) = 0;
  // An error also when the file did not exist.
  virtual OsStatus DeleteFile(const std::string& path) = 0;
  // Appends text to the file, creating it when missing. The text is UTF-8 and is stored in the
  // ANSI code page.
  virtual OsStatus AppendAnsiText(const std::string& path, const std::string& text) = 0;
  // An error for a folder (ERROR_DIRECTORY) or a missing file.
  virtual OsResult<uint64_t> FileSize(const std::string& path) = 0;
  // Size and last-write time in one query, for callers that re-read a file only when it changed;
  // an error for a folder (ERROR_DIRECTORY) or a missing file.
  virtual OsResult<FileStamp> Stamp(const std::string& path) = 0;
  // Renames a file, replacing an existing target.
  virtual OsStatus MoveFileReplacing(const std::string& from, const std::string& to) = 0;
};

// INI files through the private-profile functions: section and key names match without regard to
// case, values come back with surrounding blanks removed.
class ProfileStore {
 public:
  virtual ~ProfileStore() = default;
  virtual std::string ReadString(const std::string& file, const std::string& section,
                                 const std::string& key, const std::string& fallback) = 0;
  virtual OsStatus WriteString(const std::string& file, const std::string& section,
                               const std::string& key, const std::string& value) = 0;
};

}  // namespace dpc

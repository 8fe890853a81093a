#pragma once

#include <cstdint>
#include <optional>
#include <string>

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
  // False when the file could not be deleted (or did not exist).
  virtual bool DeleteFile(const std::string& path) = 0;
  // Appends text to the file, creating it when missing. The text is UTF-8 and is stored in the
  // ANSI code page. False when the file could not be opened or written.
  virtual bool AppendAnsiText(const std::string& path, const std::string& text) = 0;
  virtual std::optional<uint64_t> FileSize(const std::string& path) = 0;
  // Size and last-write time in one query, for callers that re-read a file only when it changed;
  // nullopt for a folder or a missing file.
  virtual std::optional<FileStamp> Stamp(const std::string& path) = 0;
  // Renames a file, replacing an existing target. False on failure.
  virtual bool MoveFileReplacing(const std::string& from, const std::string& to) = 0;
};

// INI files through the private-profile functions: section and key names match without regard to
// case, values come back with surrounding blanks removed.
class ProfileStore {
 public:
  virtual ~ProfileStore() = default;
  virtual std::string ReadString(const std::string& file, const std::string& section,
                                 const std::string& key, const std::string& fallback) = 0;
  // False when the value could not be written.
  virtual bool WriteString(const std::string& file, const std::string& section,
                           const std::string& key, const std::string& value) = 0;
};

}  // namespace dpc

#pragma once

// <windows.h> maps DeleteFile to DeleteFileA/W; included earlier, it would rename the
// interface's method in this translation unit only.
#ifdef DeleteFile
#undef DeleteFile
#endif

#include "platform/files.h"

namespace dpc::win32 {

class FileSystemWin final : public FileSystem {
 public:
  bool FileExists(const std::string& path) override;
  OsStatus DeleteFile(const std::string& path) override;
  // Characters the ANSI code page lacks are stored as its default character ('?'): the line is
  // kept rather than lost.
  OsStatus AppendAnsiText(const std::string& path, const std::string& text) override;
  OsResult<uint64_t> FileSize(const std::string& path) override;
  OsResult<FileStamp> Stamp(const std::string& path) override;
  OsStatus MoveFileReplacing(const std::string& from, const std::string& to) override;
};

// Paths must be absolute: a bare name would be looked up in the Windows folder.
class ProfileStoreWin final : public ProfileStore {
 public:
  std::string ReadString(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& fallback) override;
  OsStatus WriteString(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& value) override;
};

}  // namespace dpc::win32

#pragma once

#include <memory>
#include <string>

#include "platform/code_page.h"
#include "platform/file_system.h"

namespace dpc::win32 {

// A drive path ("D:\x") or share ("\\srv\s\x") in the "\\?\" form that lifts the 260-character
// limit; other paths pass unchanged. Separators become backslashes.
std::wstring ExtendedPath(const std::string& utf8);

class FileSystemWin final : public FileSystem {
 public:
  OsResult<FolderEntry> Stat(const std::string& path) override;
  OsStatus SetAttributes(const std::string& path, uint32_t attributes) override;
  OsStatus RemoveFile(const std::string& path) override;
  OsResult<bool> FileExists(const std::string& path) override;
  // Characters the ANSI code page lacks are stored as its default character ('?'): the line is
  // kept rather than lost.
  OsStatus AppendAnsiText(const std::string& path, const std::string& text) override;
  OsResult<uint64_t> FileSize(const std::string& path) override;
  OsResult<FileStamp> Stamp(const std::string& path) override;
  OsResult<FileIdentity> Identity(const std::string& path) override;
  OsResult<std::string> LongPathName(const std::string& path) override;
  DriveKind DriveType(char letter) override;
  OsResult<DriveSpace> FreeSpace(char letter) override;
  // SHFileOperationW; the shell takes no "\\?\" paths, so a tree it cannot reach fails here.
  OsStatus RecycleTree(const std::string& path) override;
  // Files above 64 MiB are refused (ERROR_FILE_TOO_LARGE): the ticket is a few kilobytes.
  OsResult<std::string> ReadFileBytes(const std::string& path) override;
  OsStatus ReplaceFileWith(const std::string& from, const std::string& to) override;
  OsStatus CreateNewFileFlushed(const std::string& path, const std::string& bytes) override;
  OsStatus ReplaceFileKeepingSecurity(const std::string& from, const std::string& to,
                                      const std::string& backup) override;
  // IFileOperation with a progress sink that refuses every deletion not bound for the bin.
  // Wine's IFileOperation answers E_NOTIMPL: kNotSupported.
  OsStatus RecycleTreeGuarded(const std::string& path) override;
  // SHQueryRecycleBinW, which fails where Wine cannot make its trash folder.
  OsResult<uint64_t> RecycleBinItems(char letter) override;
  OsResult<uint64_t> ClusterSize(char letter) override;
  OsResult<std::unique_ptr<FileHandle>> OpenPath(const std::string& path, OpenAs as) override;
  OsStatus EnableRestorePrivilege() override;
  OsResult<std::string> ProcessUserSid() override;
  OsResult<std::string> AccountName(const std::string& sid) override;
};

// The progress sink of RecycleTreeGuarded: PreDeleteItem lets an item go only when the shell
// flags it for the recycle bin (TSF_DELETE_RECYCLE_IF_POSSIBLE); any other deletion would be
// for good, and ends the whole operation before it starts. Implements IFileOperationProgressSink
// (an IUnknown*); the caller owns the one reference it gets.
class RecycleOnlySink;
struct RecycleOnlySinkDeleter {
  void operator()(RecycleOnlySink* sink) const noexcept;
};
std::unique_ptr<RecycleOnlySink, RecycleOnlySinkDeleter> MakeRecycleOnlySink();
// The sink's answer to PreDeleteItem(flags), and whether it has refused anything yet.
long SinkPreDeleteItem(RecycleOnlySink& sink, unsigned long flags);
bool SinkRefused(const RecycleOnlySink& sink);

class AnsiCodePageWin final : public AnsiCodePage {
 public:
  uint32_t Identifier() override;
  // Only texts that come back unchanged from the code page count as representable.
  std::optional<std::string> FromUtf8(const std::string& utf8) override;
  std::optional<std::string> Encode(uint32_t codePage, const std::string& utf8) override;
  OsResult<std::string> ToUtf8(const std::string& ansi) override;
};

}  // namespace dpc::win32

#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/os_error.h"
#include "platform/os_result.h"
#include "platform/security.h"

namespace dpc {

// File attribute bits, with their Windows values.
namespace file_attribute {
inline constexpr uint32_t kReadOnly = 0x01;
inline constexpr uint32_t kHidden = 0x02;
inline constexpr uint32_t kSystem = 0x04;
inline constexpr uint32_t kDirectory = 0x10;
inline constexpr uint32_t kArchive = 0x20;
inline constexpr uint32_t kNormal = 0x80;
inline constexpr uint32_t kTemporary = 0x100;
inline constexpr uint32_t kSparse = 0x200;
inline constexpr uint32_t kReparsePoint = 0x400;
inline constexpr uint32_t kCompressed = 0x800;
inline constexpr uint32_t kNotContentIndexed = 0x2000;
inline constexpr uint32_t kEncrypted = 0x4000;
}  // namespace file_attribute

// Reparse tags, with their Windows values.
namespace reparse_tag {
inline constexpr uint32_t kMountPoint = 0xA0000003;  // a junction, or a volume mounted on a folder
inline constexpr uint32_t kSymlink = 0xA000000C;
}  // namespace reparse_tag

// A junction, symbolic link or mount point: a name for another place. Deduplicated, compressed
// and cloud files are reparse points too, but hold their own data. A reparse point whose tag is
// unknown counts as a link.
inline bool IsNameSurrogate(uint32_t attributes, uint32_t reparseTag) {
  constexpr uint32_t kNameSurrogateBit = 0x20000000;
  return (attributes & file_attribute::kReparsePoint) != 0 &&
         (reparseTag == 0 || (reparseTag & kNameSurrogateBit) != 0);
}

// Windows error codes that the folder logic tells apart.
namespace os_code {
inline constexpr uint32_t kFileNotFound = 2;
inline constexpr uint32_t kPathNotFound = 3;
inline constexpr uint32_t kAccessDenied = 5;
inline constexpr uint32_t kSharingViolation = 32;
inline constexpr uint32_t kLockViolation = 33;
inline constexpr uint32_t kFileExists = 80;
inline constexpr uint32_t kDiskFull = 112;
inline constexpr uint32_t kAlreadyExists = 183;
inline constexpr uint32_t kNotSupported = 50;
inline constexpr uint32_t kDirectory = 267;
inline constexpr uint32_t kCancelled = 1223;
inline constexpr uint32_t kInvalidOwner = 1307;
}  // namespace os_code

// One entry of a folder listing.
struct FolderEntry {
  std::string name;
  uint32_t attributes = 0;
  uint64_t size = 0;        // 0 for folders
  uint32_t reparseTag = 0;  // with kReparsePoint; 0 when the system does not say
  // False when the system's name has no exact UTF-8 form (a UTF-16 surrogate without its pair):
  // `name` then stands for it only approximately and may equal another file's.
  bool exactName = true;
  uint64_t fileId = 0;     // the file's index on its volume, where the listing gives it
  uint64_t lastWrite = 0;  // 100-nanosecond ticks since 1601 (a FILETIME)
  uint64_t allocated = 0;  // bytes it takes on its drive

  bool IsFolder() const { return (attributes & file_attribute::kDirectory) != 0; }
  bool IsReparsePoint() const { return (attributes & file_attribute::kReparsePoint) != 0; }
  bool IsLink() const { return IsNameSurrogate(attributes, reparseTag); }
};

// What names one file or folder whatever path reaches it (letter case, short name, link).
struct FileIdentity {
  uint32_t volumeSerial = 0;
  uint64_t fileIndex = 0;
  bool operator==(const FileIdentity&) const = default;
};

// A file's times as FILETIMEs (100-nanosecond ticks since 1601).
struct FileTimes {
  uint64_t creation = 0;
  uint64_t lastAccess = 0;
  uint64_t lastWrite = 0;
  bool operator==(const FileTimes&) const = default;
};

// Runs on the calling thread while one file is being copied: bytes copied so far and the file's
// size. It may process window messages.
using CopyProgressCallback = std::function<void(uint64_t done, uint64_t total)>;

// What an open handle tells of the file or folder it holds.
struct HandleInfo {
  FileIdentity identity;
  uint32_t attributes = 0;
  uint32_t reparseTag = 0;  // with kReparsePoint
  uint64_t size = 0;        // 0 for folders
  uint64_t allocated = 0;
  uint32_t links = 1;  // the file's names: more than one for a hard-linked file
  FileTimes times;

  bool IsFolder() const { return (attributes & file_attribute::kDirectory) != 0; }
  bool IsReparsePoint() const { return (attributes & file_attribute::kReparsePoint) != 0; }
  bool IsLink() const { return IsNameSurrogate(attributes, reparseTag); }
};

// A named data stream of a file ("Zone.Identifier"), without the colons and the stream type.
struct StreamEntry {
  std::string name;
  uint64_t size = 0;
};

// A part of a sparse file that holds data.
struct ByteRange {
  uint64_t offset = 0;
  uint64_t length = 0;
  bool operator==(const ByteRange&) const = default;
};

// What a handle is opened for. Every open through a folder's handle takes a link or reparse point
// as itself, never as the place it names, except kFileData.
enum class OpenAs {
  // A folder to list, and to read its attributes and permissions. Held without sharing deletion:
  // while it is open nobody renames, deletes or replaces it.
  kFolder,
  // As kFolder, and to add to it and set its attributes, permissions and owner.
  kNewFolder,
  // A file's data, attributes and permissions, shared only for reading.
  kFile,
  // As kFile, through a reparse point that holds data (a deduplicated or cloud file): the data
  // its filter shows, not the reparse point's own.
  kFileData,
  // An existing file's attributes, permissions and owner, to set them.
  kFileSecurity,
};

// An open file, folder or stream. Everything below a tree's top is reached through the handle of
// its folder, never by a path: a name checked once cannot lead elsewhere afterwards, whatever
// another program makes of the path. The calls that do not fit what is held fail.
class FileHandle {
 public:
  virtual ~FileHandle() = default;

  // What the handle holds, asked through the handle now.
  virtual OsResult<HandleInfo> Info() = 0;
  // As Info, but the identity's volume serial is left 0: all a file's copy needs of it, and on
  // some systems (Wine) far cheaper than asking the volume.
  virtual OsResult<HandleInfo> FileDetails() { return Info(); }
  // Folders: every entry except "." and "..", hidden and system ones included, links as
  // themselves, with file ids and last-write times.
  virtual OsResult<std::vector<FolderEntry>> List() = 0;
  // Folders: opens the entry `name` of this folder through this handle; kFileNotFound when it is
  // not there, kDirectory when a folder is asked for and a file stands there.
  virtual OsResult<std::unique_ptr<FileHandle>> Open(const std::string& name, OpenAs as) = 0;
  // Folders: creates a file or folder in this folder that admits only administrators and SYSTEM
  // from the start (AdministratorsOnly(), given to the create call). kFileExists when anything
  // stands at the name, a link included. A new folder is open as kNewFolder; a new file for its
  // data, attributes, permissions and deletion, shared with nobody.
  virtual OsResult<std::unique_ptr<FileHandle>> Create(const std::string& name, bool folder) = 0;
  // Files: the named data streams; none where the file system has no such streams.
  virtual OsResult<std::vector<StreamEntry>> Streams() = 0;
  // Files: a named stream, to read it (on a file opened as kFile or kFileData) ...
  virtual OsResult<std::unique_ptr<FileHandle>> OpenStream(const std::string& name) = 0;
  // ... or made new, to write it (on a file made by Create).
  virtual OsResult<std::unique_ptr<FileHandle>> CreateStream(const std::string& name) = 0;
  // Sparse files: the ranges that hold data, in order.
  virtual OsResult<std::vector<ByteRange>> AllocatedRanges() = 0;
  // Makes a new file sparse; an error where the file system cannot.
  virtual OsStatus MakeSparse() = 0;
  // Up to `size` bytes from `offset`; 0 at the end of the data.
  virtual OsResult<size_t> Read(uint64_t offset, char* buffer, size_t size) = 0;
  // All `size` bytes at `offset`.
  virtual OsStatus Write(uint64_t offset, const char* data, size_t size) = 0;
  virtual OsStatus SetSize(uint64_t size) = 0;
  // Copies this file's (or stream's) data into `target`, a new file: everything up to its end,
  // or the given ranges of a sparse file, whose size is then `size`. `progress` runs on the
  // calling thread after each chunk; a throw from it ends the copy and is raised again. Built on
  // Read and Write.
  virtual OsStatus CopyData(FileHandle& target, const std::vector<ByteRange>& ranges, uint64_t size,
                            const CopyProgressCallback& progress);
  // Whether the two hold the same bytes. Built on Read.
  virtual OsResult<bool> SameData(FileHandle& other);
  // Attributes and times; a time of 0 stays as it is.
  virtual OsStatus SetBasics(uint32_t attributes, const FileTimes& times) = 0;
  // The owner, whether the list is protected, and every entry with its inheritance flags.
  virtual OsResult<Security> ReadSecurity() = 0;
  // Without the restore privilege (see FileSystem::EnableRestorePrivilege) the owner can only be
  // the process's user or Administrators: kInvalidOwner (1307) otherwise.
  virtual OsStatus SetOwner(const std::string& sid) = 0;
  // The access list's own entries. Protected: nothing is inherited. Not protected: the entries
  // the parent passes on are added; on a folder, Windows then passes its own on to every child
  // that is not protected ("automatic propagation of inheritable ACEs").
  virtual OsStatus SetDacl(const std::vector<Ace>& entries, bool isProtected) = 0;
  // Deletes what this handle holds when it closes (the delete disposition): that file, whatever
  // name leads to it now, and never another. Only for files made by Create.
  virtual OsStatus Delete() = 0;
};

// What changes when a file is rewritten: its size and its last-write time.
struct FileStamp {
  uint64_t size = 0;
  uint64_t lastWrite = 0;  // 100-nanosecond ticks since 1601 (a FILETIME)
  bool operator==(const FileStamp&) const = default;
};

// GetDriveType's answer; Substituted is a fixed drive that `subst` made from a folder.
enum class DriveKind { Unknown, Missing, Removable, Fixed, Network, CdRom, RamDisk, Substituted };

struct DriveSpace {
  uint64_t freeToCaller = 0;
  uint64_t total = 0;
};

// Files and folder trees, by UTF-8 path: the controller's own files (log, settings, product
// information) and the folder moves with the settings ticket. Absolute paths ("D:\Data\Jobs") of
// any length; the adapter adds what Windows needs for paths beyond 260 characters. Every failure
// carries the Windows error code and the API's name.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The entry of one file or folder (name: the path's last part); kFileNotFound or
  // kPathNotFound when there is none.
  virtual OsResult<FolderEntry> Stat(const std::string& path) = 0;
  virtual OsStatus SetAttributes(const std::string& path, uint32_t attributes) = 0;
  // An error also when the file did not exist.
  virtual OsStatus RemoveFile(const std::string& path) = 0;
  // The next four serve the controller's own files: the path goes to the system as given, which
  // resolves ".." and doubled separators in it but takes at most 260 characters.
  // True for an existing file, false for a folder or nothing there; an error when the system
  // cannot tell (access denied on the way, a drive that does not answer).
  virtual OsResult<bool> FileExists(const std::string& path) = 0;
  // Appends text to the file, creating it when missing. The text is UTF-8 and is stored in the
  // ANSI code page.
  virtual OsStatus AppendAnsiText(const std::string& path, const std::string& text) = 0;
  // An error for a folder (ERROR_DIRECTORY) or a missing file.
  virtual OsResult<uint64_t> FileSize(const std::string& path) = 0;
  // Size and last-write time in one query, for callers that re-read a file only when it changed;
  // an error for a folder (ERROR_DIRECTORY) or a missing file.
  virtual OsResult<FileStamp> Stamp(const std::string& path) = 0;
  // The identity of an existing file or folder.
  virtual OsResult<FileIdentity> Identity(const std::string& path) = 0;
  // The path of an existing file or folder with every short (8.3) name replaced by its long
  // name; an error when a part of it does not exist.
  virtual OsResult<std::string> LongPathName(const std::string& path) = 0;
  virtual DriveKind DriveType(char letter) = 0;
  // Free bytes available to this user, and the drive's size.
  virtual OsResult<DriveSpace> FreeSpace(char letter) = 0;
  // Moves a folder tree to the recycle bin, without confirmation and without progress display.
  virtual OsStatus RecycleTree(const std::string& path) = 0;
  // A whole file's bytes (small files: the settings ticket and its companions).
  virtual OsResult<std::string> ReadFileBytes(const std::string& path) = 0;
  // Renames `from` to `to` in one step, replacing `to` (MoveFileEx with replace and
  // write-through). One attempt; `to` keeps its old content when it fails.
  virtual OsStatus ReplaceFileWith(const std::string& from, const std::string& to) = 0;
  // Creates the file only when nothing stands at the path (CREATE_NEW: kFileExists otherwise,
  // also for a link), writes all bytes and flushes them. A file made here is ours alone: its
  // owner is this process's user, whoever could write the folder. When writing fails the file
  // this call made is removed again; nothing else is ever removed.
  virtual OsStatus CreateNewFileFlushed(const std::string& path, const std::string& bytes) = 0;
  // Puts `from` in the place of the existing file `to` (ReplaceFileW): `to` keeps its owner,
  // permissions and streams, and its old content goes to `backup`, replacing what stood there.
  // On failure `from` is still there, and `to` keeps its old content: at `to`, or at `backup`
  // when the swap failed half way (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, 1177), and then nothing
  // stands at `to`.
  virtual OsStatus ReplaceFileKeepingSecurity(const std::string& from, const std::string& to,
                                              const std::string& backup) = 0;
  // Moves a tree to the recycle bin in a way that refuses, before anything is removed, to delete
  // any of it for good (a tree the bin cannot take: over its quota, a drive without a bin). The
  // tree stays where it was when the bin refuses. kNotSupported when the system has no such way.
  virtual OsStatus RecycleTreeGuarded(const std::string& path) = 0;
  // How many items the recycle bin holds for the drive; an error when the drive has no bin the
  // system can use.
  virtual OsResult<uint64_t> RecycleBinItems(char letter) = 0;
  // Bytes per cluster of the drive: the least a file takes there.
  virtual OsResult<uint64_t> ClusterSize(char letter) = 0;

  // Opens a folder by its full path, such as a drive's root: where a walk through handles
  // begins (see FileHandle). Every link on the path is followed, its last part's too: a volume
  // mounted on a folder there is the administrator's own arrangement.
  virtual OsResult<std::unique_ptr<FileHandle>> OpenPath(const std::string& path, OpenAs as) = 0;
  // Lets this process make any account the owner of a file (SeRestorePrivilege), where its token
  // holds the privilege: an elevated administrator's does, switched off.
  virtual OsStatus EnableRestorePrivilege() = 0;
  // This process's user, as a SID.
  virtual OsResult<std::string> ProcessUserSid() = 0;
  // An account as Windows' security dialogs name it ("BUILTIN\Users").
  virtual OsResult<std::string> AccountName(const std::string& sid) = 0;
};

}  // namespace dpc

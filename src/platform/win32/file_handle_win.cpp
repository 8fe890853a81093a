#include "platform/win32/file_handle_win.h"

#include <windows.h>
#include <winternl.h>
#include <aclapi.h>
#include <winioctl.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/win32/file_system_win.h"
#include "platform/win32/os_error_win.h"
#include "platform/win32/security_win.h"
#include "platform/win32/text.h"

namespace dpc::win32 {
namespace {

// A hot path: one call per folder of trees with 10 000 files.
constexpr size_t kListBytes = 64 * 1024;

constexpr size_t kStreamBytes = 4 * 1024;
constexpr size_t kMostStreamBytes = 1024 * 1024;
constexpr DWORD kMostPerCall = 1u << 30;

constexpr ACCESS_MASK kFolderRights =
    FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
constexpr ACCESS_MASK kFileRights =
    FILE_READ_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
constexpr ACCESS_MASK kNewFileRights = GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC |
                                       WRITE_OWNER | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES |
                                       SYNCHRONIZE;
constexpr uint32_t kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                         FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                         FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

struct Rights {
  ACCESS_MASK access;
  ULONG share;
  bool folder;
};

Rights RightsFor(OpenAs as) {
  switch (as) {
    case OpenAs::kFolder:
      return {kFolderRights, FILE_SHARE_READ | FILE_SHARE_WRITE, true};
    case OpenAs::kNewFolder:
      return {kFolderRights | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_WRITE_ATTRIBUTES |
                  WRITE_DAC | WRITE_OWNER,
              FILE_SHARE_READ | FILE_SHARE_WRITE, true};
    case OpenAs::kFile:
    case OpenAs::kFileData:
      return {kFileRights, FILE_SHARE_READ, false};
    case OpenAs::kFileSecurity:
      break;
  }
  return {READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES |
              SYNCHRONIZE,
          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false};
}

uint64_t Join(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

// One entry of a folder, and nothing that could reach past it or into a stream: a relative name
// with '\' opens a path below the folder (Wine and Windows alike), and ':' names a stream. "."
// and ".." are refused by the system too (123, measured under Wine).
bool IsPlainName(std::wstring_view name) {
  return !name.empty() && name != L"." && name != L".." &&
         name.find_first_of(std::wstring_view(L"\\/:\0", 4)) == std::wstring_view::npos;
}

bool IsStreamName(std::wstring_view name) {
  return !name.empty() &&
         name.find_first_of(std::wstring_view(L"\\/:\0", 4)) == std::wstring_view::npos;
}

// Opens `name` relative to `root`: the system looks the name up in the folder the handle holds,
// whatever its path has become. Letter case and backup intent as CreateFileW has them; Wine
// ignores the letter case whatever the flag says (measured).
OsResult<ScopedFileHandle> OpenRelative(HANDLE root, const std::wstring& name, ACCESS_MASK access,
                                        ULONG share, ULONG disposition, ULONG options,
                                        const void* descriptor = nullptr) {
  if (name.size() > 0x7FFF) return MakeOsError(ERROR_FILENAME_EXCED_RANGE, "NtCreateFile");
  const auto bytes = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  UNICODE_STRING text{bytes, bytes, const_cast<wchar_t*>(name.data())};
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, root,
                             const_cast<void*>(descriptor));
  IO_STATUS_BLOCK status{};
  HANDLE opened = nullptr;
  const NTSTATUS result = ::NtCreateFile(
      &opened, access, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL, share, disposition,
      options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT, nullptr, 0);
  if (result < 0) return MakeOsError(::RtlNtStatusToDosError(result), "NtCreateFile");
  return ScopedFileHandle(opened);
}

std::unique_ptr<FileHandle> Wrap(ScopedFileHandle handle, bool folder) {
  return std::make_unique<FileHandleWin>(std::move(handle), folder);
}

OsError NotAFolder(const char* api) { return MakeOsError(ERROR_DIRECTORY, api); }
OsError NotAFile(const char* api) { return MakeOsError(ERROR_INVALID_FUNCTION, api); }

// Where a new file or folder admits only administrators and SYSTEM from its first moment.
const OsResult<std::vector<BYTE>>& AdministratorsOnlyDescriptor() {
  static const OsResult<std::vector<BYTE>> descriptor =
      DescriptorFromSecurity(AdministratorsOnly());
  return descriptor;
}

}  // namespace

OsResult<HandleInfo> FileHandleWin::Info() {
  auto info = FileDetails();
  if (!info) return info;
  BY_HANDLE_FILE_INFORMATION data{};
  if (!::GetFileInformationByHandle(handle_.get(), &data)) {
    return LastOsError("GetFileInformationByHandle");
  }
  info->identity = {data.dwVolumeSerialNumber, Join(data.nFileIndexHigh, data.nFileIndexLow)};
  return info;
}

OsResult<HandleInfo> FileHandleWin::FileDetails() {
  FILE_BASIC_INFO basic{};
  if (!::GetFileInformationByHandleEx(handle_.get(), FileBasicInfo, &basic, sizeof basic)) {
    return LastOsError("GetFileInformationByHandleEx");
  }
  HandleInfo info;
  info.attributes = basic.FileAttributes;
  info.times = {static_cast<uint64_t>(basic.CreationTime.QuadPart),
                static_cast<uint64_t>(basic.LastAccessTime.QuadPart),
                static_cast<uint64_t>(basic.LastWriteTime.QuadPart)};
  // The file index alone, as FileInternalInformation (6) gives it.
  LARGE_INTEGER index{};
  IO_STATUS_BLOCK status{};
  const NTSTATUS asked = ::NtQueryInformationFile(handle_.get(), &status, &index, sizeof index,
                                                  static_cast<FILE_INFORMATION_CLASS>(6));
  if (asked < 0) return MakeOsError(::RtlNtStatusToDosError(asked), "NtQueryInformationFile");
  info.identity.fileIndex = static_cast<uint64_t>(index.QuadPart);
  if (info.IsReparsePoint()) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(handle_.get(), FileAttributeTagInfo, &tag, sizeof tag)) {
      return LastOsError("GetFileInformationByHandleEx");
    }
    info.reparseTag = tag.ReparseTag;
  }
  FILE_STANDARD_INFO standard{};
  if (!::GetFileInformationByHandleEx(handle_.get(), FileStandardInfo, &standard,
                                      sizeof standard)) {
    return LastOsError("GetFileInformationByHandleEx");
  }
  info.size = info.IsFolder() ? 0 : static_cast<uint64_t>(standard.EndOfFile.QuadPart);
  info.allocated = static_cast<uint64_t>(standard.AllocationSize.QuadPart);
  info.links = standard.NumberOfLinks;
  return info;
}

OsResult<std::vector<FolderEntry>> FileHandleWin::List() {
  if (!folder_) return NotAFolder("GetFileInformationByHandleEx");
  // 8-byte aligned, as the entries' 64-bit fields need.
  std::vector<uint64_t> buffer(kListBytes / sizeof(uint64_t));
  std::vector<FolderEntry> entries;
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  for (;;) {
    if (!::GetFileInformationByHandleEx(handle_.get(), kind, buffer.data(), kListBytes)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_NO_MORE_FILES) break;
      // A first query that finds nothing at all: a drive root has no "." and "..".
      if (error == ERROR_FILE_NOT_FOUND && kind == FileIdBothDirectoryRestartInfo) break;
      return MakeOsError(error, "GetFileInformationByHandleEx");
    }
    kind = FileIdBothDirectoryInfo;
    const char* at = reinterpret_cast<const char*>(buffer.data());
    for (;;) {
      const auto* item = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
      const std::wstring_view name(item->FileName, item->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        FolderEntry& entry = entries.emplace_back();
        entry.name = WideToUtf8(name);
        entry.exactName = !HasLoneSurrogate(name);
        entry.attributes = item->FileAttributes;
        entry.size = entry.IsFolder() ? 0 : static_cast<uint64_t>(item->EndOfFile.QuadPart);
        // For a reparse point the EA size field carries its tag. Wine 8 lists a Unix link to a
        // folder with the reparse bit and tag 0 (a link, to IsNameSurrogate), a link to a file
        // as that file, and a link that leads nowhere not at all; it follows each on open.
        entry.reparseTag = entry.IsReparsePoint() ? item->EaSize : 0;
        entry.fileId = static_cast<uint64_t>(item->FileId.QuadPart);
        entry.lastWrite = static_cast<uint64_t>(item->LastWriteTime.QuadPart);
        entry.allocated = static_cast<uint64_t>(item->AllocationSize.QuadPart);
      }
      if (item->NextEntryOffset == 0) break;
      at += item->NextEntryOffset;
    }
  }
  return entries;
}

OsResult<std::unique_ptr<FileHandle>> FileHandleWin::Open(const std::string& name, OpenAs as) {
  if (!folder_) return NotAFolder("NtCreateFile");
  const std::wstring wide = Utf8ToWide(name);
  if (!IsPlainName(wide)) return MakeOsError(ERROR_INVALID_NAME, "NtCreateFile");
  const Rights rights = RightsFor(as);
  ULONG options = rights.folder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE;
  if (as != OpenAs::kFileData) options |= FILE_OPEN_REPARSE_POINT;
  if (as == OpenAs::kFile || as == OpenAs::kFileData) options |= FILE_SEQUENTIAL_ONLY;
  auto opened = OpenRelative(handle_.get(), wide, rights.access, rights.share, FILE_OPEN, options);
  if (!opened) return opened.error();
  return Wrap(std::move(*opened), rights.folder);
}

OsResult<std::unique_ptr<FileHandle>> FileHandleWin::Create(const std::string& name, bool folder) {
  if (!folder_) return NotAFolder("NtCreateFile");
  const std::wstring wide = Utf8ToWide(name);
  if (!IsPlainName(wide)) return MakeOsError(ERROR_INVALID_NAME, "NtCreateFile");
  const auto& descriptor = AdministratorsOnlyDescriptor();
  if (!descriptor) return descriptor.error();
  const Rights rights = folder ? RightsFor(OpenAs::kNewFolder) : Rights{kNewFileRights, 0, false};
  const ULONG options =
      (folder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY) |
      FILE_OPEN_REPARSE_POINT;
  // Under Wine the descriptor becomes the Unix mode, less the umask: 750 with umask 022.
  auto created = OpenRelative(handle_.get(), wide, rights.access, rights.share, FILE_CREATE,
                              options, descriptor->data());
  if (!created) {
    // The system says "already exists" (183) for a name collision; the contract's word is 80.
    if (created.error().code == ERROR_ALREADY_EXISTS) {
      return MakeOsError(ERROR_FILE_EXISTS, "NtCreateFile");
    }
    return created.error();
  }
  return Wrap(std::move(*created), folder);
}

OsResult<std::vector<StreamEntry>> FileHandleWin::Streams() {
  if (folder_) return NotAFile("GetFileInformationByHandleEx");
  std::vector<uint64_t> buffer(kStreamBytes / sizeof(uint64_t));
  for (;;) {
    const DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(uint64_t));
    if (::GetFileInformationByHandleEx(handle_.get(), FileStreamInfo, buffer.data(), bytes)) break;
    const DWORD error = ::GetLastError();
    switch (error) {
      case ERROR_MORE_DATA:
        if (bytes >= kMostStreamBytes) return MakeOsError(error, "GetFileInformationByHandleEx");
        buffer.resize(buffer.size() * 4);
        continue;
      // No stream at all, or a file system without streams. Wine 8 answers
      // ERROR_INVALID_FUNCTION for every file.
      case ERROR_HANDLE_EOF:
      case ERROR_INVALID_FUNCTION:
      case ERROR_INVALID_PARAMETER:
      case ERROR_NOT_SUPPORTED:
      case ERROR_CALL_NOT_IMPLEMENTED:
        return std::vector<StreamEntry>{};
      default:
        return MakeOsError(error, "GetFileInformationByHandleEx");
    }
  }
  std::vector<StreamEntry> streams;
  constexpr std::wstring_view kDataSuffix = L":$DATA";
  const char* at = reinterpret_cast<const char*>(buffer.data());
  for (;;) {
    const auto* item = reinterpret_cast<const FILE_STREAM_INFO*>(at);
    // ":name:$DATA"; the unnamed data stream is "::$DATA".
    const std::wstring_view name(item->StreamName, item->StreamNameLength / sizeof(wchar_t));
    if (name.size() > kDataSuffix.size() + 1 && name.front() == L':' &&
        name.substr(name.size() - kDataSuffix.size()) == kDataSuffix) {
      streams.push_back({WideToUtf8(name.substr(1, name.size() - 1 - kDataSuffix.size())),
                         static_cast<uint64_t>(item->StreamSize.QuadPart)});
    }
    if (item->NextEntryOffset == 0) break;
    at += item->NextEntryOffset;
  }
  return streams;
}

// Relative to the file's handle, the name ":stream". Wine 8 has no streams and answers
// ERROR_PATH_NOT_FOUND.
OsResult<std::unique_ptr<FileHandle>> FileHandleWin::OpenStream(const std::string& name) {
  if (folder_) return NotAFile("NtCreateFile");
  const std::wstring wide = Utf8ToWide(name);
  if (!IsStreamName(wide)) return MakeOsError(ERROR_INVALID_NAME, "NtCreateFile");
  auto opened = OpenRelative(handle_.get(), L":" + wide, kFileRights, FILE_SHARE_READ, FILE_OPEN,
                             FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY);
  if (!opened) return opened.error();
  return Wrap(std::move(*opened), false);
}

OsResult<std::unique_ptr<FileHandle>> FileHandleWin::CreateStream(const std::string& name) {
  if (folder_) return NotAFile("NtCreateFile");
  const std::wstring wide = Utf8ToWide(name);
  if (!IsStreamName(wide)) return MakeOsError(ERROR_INVALID_NAME, "NtCreateFile");
  auto created =
      OpenRelative(handle_.get(), L":" + wide, GENERIC_WRITE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                   0, FILE_CREATE, FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY);
  if (!created) {
    if (created.error().code == ERROR_ALREADY_EXISTS) {
      return MakeOsError(ERROR_FILE_EXISTS, "NtCreateFile");
    }
    return created.error();
  }
  return Wrap(std::move(*created), false);
}

OsResult<std::vector<ByteRange>> FileHandleWin::AllocatedRanges() {
  if (folder_) return NotAFile("DeviceIoControl");
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(handle_.get(), &size)) return LastOsError("GetFileSizeEx");
  std::vector<ByteRange> ranges;
  std::vector<FILE_ALLOCATED_RANGE_BUFFER> found(512);
  FILE_ALLOCATED_RANGE_BUFFER query{};
  query.Length = size;
  while (query.Length.QuadPart > 0) {
    DWORD bytes = 0;
    const BOOL done = ::DeviceIoControl(
        handle_.get(), FSCTL_QUERY_ALLOCATED_RANGES, &query, sizeof query, found.data(),
        static_cast<DWORD>(found.size() * sizeof found[0]), &bytes, nullptr);
    const DWORD error = done ? ERROR_SUCCESS : ::GetLastError();
    // Wine 8 answers ERROR_NOT_SUPPORTED.
    if (!done && error != ERROR_MORE_DATA) return MakeOsError(error, "DeviceIoControl");
    const size_t count = bytes / sizeof found[0];
    for (size_t i = 0; i < count; ++i) {
      ranges.push_back({static_cast<uint64_t>(found[i].FileOffset.QuadPart),
                        static_cast<uint64_t>(found[i].Length.QuadPart)});
    }
    if (done) break;
    if (count == 0) return MakeOsError(error, "DeviceIoControl");
    const uint64_t next = ranges.back().offset + ranges.back().length;
    query.FileOffset.QuadPart = static_cast<LONGLONG>(next);
    query.Length.QuadPart = size.QuadPart - static_cast<LONGLONG>(next);
  }
  return ranges;
}

OsStatus FileHandleWin::MakeSparse() {
  if (folder_) return NotAFile("DeviceIoControl");
  DWORD bytes = 0;
  if (!::DeviceIoControl(handle_.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &bytes,
                         nullptr)) {
    return LastOsError("DeviceIoControl");
  }
  return OsStatus::Success();
}

OsResult<size_t> FileHandleWin::Read(uint64_t offset, char* buffer, size_t size) {
  if (folder_) return NotAFile("ReadFile");
  // A synchronous handle reads at the overlapped structure's offset and waits for the data.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, kMostPerCall));
  if (!::ReadFile(handle_.get(), buffer, chunk, &read, &at)) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_HANDLE_EOF) return size_t{0};
    return MakeOsError(error, "ReadFile");
  }
  return static_cast<size_t>(read);
}

OsStatus FileHandleWin::Write(uint64_t offset, const char* data, size_t size) {
  if (folder_) return NotAFile("WriteFile");
  size_t done = 0;
  while (done < size) {
    const uint64_t position = offset + done;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, kMostPerCall));
    DWORD written = 0;
    if (!::WriteFile(handle_.get(), data + done, chunk, &written, &at)) {
      return LastOsError("WriteFile");
    }
    if (written == 0) return MakeOsError(ERROR_WRITE_FAULT, "WriteFile");
    done += written;
  }
  return OsStatus::Success();
}

OsStatus FileHandleWin::SetSize(uint64_t size) {
  if (folder_) return NotAFile("SetFileInformationByHandle");
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFileInformationByHandle(handle_.get(), FileEndOfFileInfo, &end, sizeof end)) {
    return LastOsError("SetFileInformationByHandle");
  }
  return OsStatus::Success();
}

OsStatus FileHandleWin::SetBasics(uint32_t attributes, const FileTimes& times) {
  FILE_BASIC_INFO info{};
  // A time of 0 leaves the file's own.
  info.CreationTime.QuadPart = static_cast<LONGLONG>(times.creation);
  info.LastAccessTime.QuadPart = static_cast<LONGLONG>(times.lastAccess);
  info.LastWriteTime.QuadPart = static_cast<LONGLONG>(times.lastWrite);
  const uint32_t settable = kSettableAttributes | (folder_ ? 0 : FILE_ATTRIBUTE_TEMPORARY);
  // 0 would leave the attributes as they are.
  info.FileAttributes =
      (attributes & settable) != 0 ? attributes & settable : FILE_ATTRIBUTE_NORMAL;
  if (!::SetFileInformationByHandle(handle_.get(), FileBasicInfo, &info, sizeof info)) {
    return LastOsError("SetFileInformationByHandle");
  }
  return OsStatus::Success();
}

OsResult<Security> FileHandleWin::ReadSecurity() { return ReadHandleSecurity(handle_.get()); }

// Wine takes any owner, with or without the restore privilege, and keeps the Unix user.
OsStatus FileHandleWin::SetOwner(const std::string& sid) {
  auto owner = SidFromString(sid);
  if (!owner) return owner.error();
  const DWORD error = ::SetSecurityInfo(handle_.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                        owner->data(), nullptr, nullptr, nullptr);
  if (error != ERROR_SUCCESS) return MakeOsError(error, "SetSecurityInfo");
  return OsStatus::Success();
}

OsStatus FileHandleWin::SetDacl(const std::vector<Ace>& entries, bool isProtected) {
  auto acl = AclFromEntries(entries, false);
  if (!acl) return acl.error();
  auto* list = reinterpret_cast<PACL>(acl->data());
  const SECURITY_INFORMATION which =
      DACL_SECURITY_INFORMATION |
      (isProtected ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
  // SetSecurityInfo, not the object call alone: Windows adds what the parent passes on, and
  // passes this folder's inheritable entries on to its children.
  const DWORD error =
      ::SetSecurityInfo(handle_.get(), SE_FILE_OBJECT, which, nullptr, nullptr, list, nullptr);
  if (error != ERROR_SUCCESS) return MakeOsError(error, "SetSecurityInfo");
  if (!isProtected) return OsStatus::Success();
  // Wine 8's SetSecurityInfo adds the parent's inheritable entries to a protected list too
  // (measured: without Everyone, under a folder others may read, others may still read). The
  // same list set on the object alone holds exactly these entries; on Windows it is the list
  // SetSecurityInfo has just written.
  SECURITY_DESCRIPTOR exact{};
  if (!::InitializeSecurityDescriptor(&exact, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorDacl(&exact, TRUE, list, FALSE) ||
      !::SetSecurityDescriptorControl(&exact, SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED,
                                      SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED)) {
    return LastOsError("SetSecurityDescriptorDacl");
  }
  if (!::SetKernelObjectSecurity(handle_.get(), which, &exact)) {
    return LastOsError("SetKernelObjectSecurity");
  }
  return OsStatus::Success();
}

// Wine unlinks at close by the name the file was opened with, and only while that name still
// leads to the file: after a rename of its folder the file stays, and the new holder of the old
// name too (measured).
OsStatus FileHandleWin::Delete() {
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (::SetFileInformationByHandle(handle_.get(), FileDispositionInfo, &disposition,
                                   sizeof disposition)) {
    return OsStatus::Success();
  }
  const DWORD error = ::GetLastError();
  FILE_BASIC_INFO basic{};
  if (error != ERROR_ACCESS_DENIED ||
      !::GetFileInformationByHandleEx(handle_.get(), FileBasicInfo, &basic, sizeof basic) ||
      (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0) {
    return MakeOsError(error, "SetFileInformationByHandle");
  }
  const OsStatus cleared = SetBasics(basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY, FileTimes{});
  if (!cleared) return cleared;
  if (!::SetFileInformationByHandle(handle_.get(), FileDispositionInfo, &disposition,
                                    sizeof disposition)) {
    return LastOsError("SetFileInformationByHandle");
  }
  return OsStatus::Success();
}

OsResult<std::unique_ptr<FileHandle>> OpenFileByPath(const std::string& path, OpenAs as) {
  const Rights rights = RightsFor(as);
  // A path is where a walk begins: a volume mounted on one of its folders, or on its last part,
  // is the administrator's own arrangement, and is followed.
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
  if (as == OpenAs::kFile || as == OpenAs::kFileData) flags |= FILE_FLAG_SEQUENTIAL_SCAN;
  ScopedFileHandle handle(::CreateFileW(ExtendedPath(path).c_str(), rights.access, rights.share,
                                        nullptr, OPEN_EXISTING, flags, nullptr));
  if (!handle) return LastOsError("CreateFileW");
  BY_HANDLE_FILE_INFORMATION data{};
  if (!::GetFileInformationByHandle(handle.get(), &data)) {
    return LastOsError("GetFileInformationByHandle");
  }
  const bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (rights.folder && !folder) return MakeOsError(ERROR_DIRECTORY, "CreateFileW");
  if (!rights.folder && folder) return MakeOsError(ERROR_ACCESS_DENIED, "CreateFileW");
  return Wrap(std::move(handle), folder);
}

}  // namespace dpc::win32

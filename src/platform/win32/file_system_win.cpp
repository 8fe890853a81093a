#include "platform/win32/file_system_win.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/scope_exit.h"
#include "platform/win32/file_handle_win.h"
#include "platform/win32/os_error_win.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/security_win.h"
#include "platform/win32/text.h"

namespace dpc::win32 {
namespace {

constexpr uint64_t kMaxWholeFile = 64ull << 20;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

uint64_t Size64(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

std::string LastName(const std::string& path) {
  const std::string trimmed = WithoutTrailingSeparators(path);
  const size_t slash = trimmed.find_last_of("\\/");
  return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

// Reads until the buffer is full or the file ends.
bool ReadFully(HANDLE file, char* buffer, DWORD size, DWORD& got) {
  got = 0;
  while (got < size) {
    DWORD read = 0;
    if (!::ReadFile(file, buffer + got, size - got, &read, nullptr)) return false;
    if (read == 0) break;
    got += read;
  }
  return true;
}

// Writes every byte to the open file, then flushes it to the disk.
OsStatus WriteAllFlushed(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) {
      return LastOsError("WriteFile");
    }
    if (written == 0) return MakeOsError(ERROR_WRITE_FAULT, "WriteFile");
    done += written;
  }
  if (!::FlushFileBuffers(file)) return LastOsError("FlushFileBuffers");
  return OsStatus::Success();
}

ScopedFileHandle OpenForReading(const std::string& path) {
  return ScopedFileHandle(::CreateFileW(ExtendedPath(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// SHFileOperation answers with its own codes, which FormatMessage does not know.
std::string ShellOperationText(int code) {
  switch (code) {
    case 0x75:
      return "The operation was cancelled.";
    case 0x78:
      return "Access to the folder, or to a file in it, was denied.";
    case 0x79:
    case 0x81:
      return "A path in the folder is too long for the recycle bin.";
    case 0x7C:
      return "The folder was not found.";
    case 0x402:
      return "An unknown error occurred; a path in the folder may be too long.";
    default:
      return (code >= 0x71 && code <= 0xB7) || code == 0x10000
                 ? "The shell could not move the folder to the recycle bin."
                 : SystemMessageText(static_cast<uint32_t>(code));
  }
}

// The shell's own identifiers, spelled here so that no import library needs to carry them.
constexpr CLSID kClsidFileOperation = {
    0x3ad05575, 0x8857, 0x4850, {0x92, 0x77, 0x11, 0xb8, 0x5b, 0xdb, 0x8e, 0x09}};
constexpr IID kIidFileOperation = {
    0x947aab5f, 0x0a5c, 0x4c13, {0xb4, 0xd6, 0x4b, 0xf7, 0x83, 0x6f, 0xc9, 0xf8}};
constexpr IID kIidProgressSink = {
    0x04b0f1a7, 0x9490, 0x44bc, {0x96, 0xe1, 0x42, 0x96, 0xa3, 0x12, 0x52, 0xe2}};
constexpr IID kIidShellItem = {
    0x43826d1e, 0xe718, 0x42ee, {0xbc, 0x55, 0xa1, 0xe2, 0x61, 0xc3, 0x7b, 0xfe}};
constexpr IID kIidUnknown = {
    0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The reparse tag of a path that is a reparse point, as its listing entry gives it.
uint32_t ReparseTagOf(const std::wstring& path) {
  WIN32_FIND_DATAW data{};
  ScopedFindHandle find(
      ::FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
  return find ? data.dwReserved0 : 0;
}

// Balances this thread's COM initialisation for one call; the controller's thread already has
// an apartment, so this is only a reference.
class ComScope {
 public:
  ComScope() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT result_;
};

OsError ComError(HRESULT result, const char* api) {
  return OsError{static_cast<uint32_t>(result), api,
                 SystemMessageText(static_cast<uint32_t>(result))};
}

}  // namespace

class RecycleOnlySink final : public IFileOperationProgressSink {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, kIidUnknown) || IsEqualIID(iid, kIidProgressSink)) {
      *object = static_cast<IFileOperationProgressSink*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ::InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = ::InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE PreDeleteItem(DWORD flags, IShellItem*) override {
    if ((flags & TSF_DELETE_RECYCLE_IF_POSSIBLE) != 0) return S_OK;
    refused_ = true;
    return E_ABORT;
  }
  HRESULT STDMETHODCALLTYPE StartOperations() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE FinishOperations(HRESULT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PreRenameItem(DWORD, IShellItem*, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PostRenameItem(DWORD, IShellItem*, LPCWSTR, HRESULT,
                                           IShellItem*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PreMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PostMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT,
                                         IShellItem*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PreCopyItem(DWORD, IShellItem*, IShellItem*, LPCWSTR) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PostCopyItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT,
                                         IShellItem*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PostDeleteItem(DWORD, IShellItem*, HRESULT, IShellItem*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PreNewItem(DWORD, IShellItem*, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PostNewItem(DWORD, IShellItem*, LPCWSTR, LPCWSTR, DWORD, HRESULT,
                                        IShellItem*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE UpdateProgress(UINT, UINT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResetTimer() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PauseTimer() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResumeTimer() override { return S_OK; }

  bool refused() const { return refused_; }

 private:
  ~RecycleOnlySink() = default;
  LONG references_ = 1;
  bool refused_ = false;
};

void RecycleOnlySinkDeleter::operator()(RecycleOnlySink* sink) const noexcept { sink->Release(); }

std::unique_ptr<RecycleOnlySink, RecycleOnlySinkDeleter> MakeRecycleOnlySink() {
  return std::unique_ptr<RecycleOnlySink, RecycleOnlySinkDeleter>(new RecycleOnlySink());
}

long SinkPreDeleteItem(RecycleOnlySink& sink, unsigned long flags) {
  return sink.PreDeleteItem(flags, nullptr);
}

bool SinkRefused(const RecycleOnlySink& sink) { return sink.refused(); }

std::wstring ExtendedPath(const std::string& utf8) {
  std::wstring path = Utf8ToWide(utf8);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  if (StartsWith(path, L"\\\\?\\")) return path;
  const bool drive = path.size() >= 3 && path[1] == L':' && path[2] == L'\\' &&
                     ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
  if (drive) {
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return L"\\\\?\\" + path;
  }
  if (StartsWith(path, L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
  return path;
}

OsResult<FolderEntry> FileSystemWin::Stat(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(ExtendedPath(path).c_str(), GetFileExInfoStandard, &data)) {
    return LastOsError("GetFileAttributesExW");
  }
  const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool reparse = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return FolderEntry{LastName(path), data.dwFileAttributes,
                     isFolder ? 0 : Size64(data.nFileSizeHigh, data.nFileSizeLow),
                     reparse ? ReparseTagOf(ExtendedPath(path)) : 0u};
}

OsStatus FileSystemWin::SetAttributes(const std::string& path, uint32_t attributes) {
  if (!::SetFileAttributesW(ExtendedPath(path).c_str(), attributes)) {
    return LastOsError("SetFileAttributesW");
  }
  return OsStatus::Success();
}

OsStatus FileSystemWin::RemoveFile(const std::string& path) {
  if (!::DeleteFileW(ExtendedPath(path).c_str())) return LastOsError("DeleteFileW");
  return OsStatus::Success();
}

// The controller's own files go to the system as given: it resolves ".." and doubled
// separators, which a path read from the registry may hold.
OsResult<bool> FileSystemWin::FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Utf8ToWide(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  const DWORD code = ::GetLastError();
  switch (code) {
    // Each says that nothing stands at the path: a missing part, a drive letter with no drive,
    // a name no file can have, a file where the path needs a folder, an unknown share.
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return false;
    default:
      return MakeOsError(code, "GetFileAttributesW");
  }
}

OsStatus FileSystemWin::AppendAnsiText(const std::string& path, const std::string& text) {
  // Sharing read and write lets an operator watch the log while the controller writes it.
  ScopedFileHandle file(::CreateFileW(Utf8ToWide(path).c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LastOsError("CreateFileW");
  const std::string bytes = Utf8ToAnsi(text).bytes;
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr)) {
      return LastOsError("WriteFile");
    }
    if (written == 0) return MakeOsError(ERROR_WRITE_FAULT, "WriteFile");
    done += written;
  }
  return OsStatus::Success();
}

OsResult<uint64_t> FileSystemWin::FileSize(const std::string& path) {
  const auto stamp = Stamp(path);
  if (!stamp) return stamp.error();
  return stamp->size;
}

OsResult<FileStamp> FileSystemWin::Stamp(const std::string& path) {
  // One attribute query, no open handle: cheap enough for every menu opening, and it never
  // blocks a writer.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(Utf8ToWide(path).c_str(), GetFileExInfoStandard, &data)) {
    return LastOsError("GetFileAttributesExW");
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return MakeOsError(ERROR_DIRECTORY, "GetFileAttributesExW");
  }
  auto join = [](DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; };
  return FileStamp{join(data.nFileSizeHigh, data.nFileSizeLow),
                   join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime)};
}

OsResult<FileIdentity> FileSystemWin::Identity(const std::string& path) {
  // Backup semantics open folders as well as files.
  ScopedFileHandle handle(::CreateFileW(ExtendedPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
  if (!handle) return LastOsError("CreateFileW");
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle.get(), &info)) {
    return LastOsError("GetFileInformationByHandle");
  }
  return FileIdentity{info.dwVolumeSerialNumber, Size64(info.nFileIndexHigh, info.nFileIndexLow)};
}

OsResult<std::string> FileSystemWin::LongPathName(const std::string& path) {
  std::wstring input = Utf8ToWide(path);
  for (wchar_t& c : input) {
    if (c == L'/') c = L'\\';
  }
  // Wine expands short names only without the "\\?\" prefix; Windows does either way.
  if (input.size() >= MAX_PATH) input = ExtendedPath(path);
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length =
        ::GetLongPathNameW(input.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return LastOsError("GetLongPathNameW");
    if (length < buffer.size()) {
      buffer.resize(length);
      if (StartsWith(buffer, L"\\\\?\\UNC\\")) return WideToUtf8(L"\\\\" + buffer.substr(8));
      if (StartsWith(buffer, L"\\\\?\\")) return WideToUtf8(buffer.substr(4));
      return WideToUtf8(buffer);
    }
    buffer.assign(length + 1, L'\0');
  }
  return MakeOsError(ERROR_INSUFFICIENT_BUFFER, "GetLongPathNameW");
}

DriveKind FileSystemWin::DriveType(char letter) {
  const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
  switch (::GetDriveTypeW(root)) {
    case DRIVE_NO_ROOT_DIR:
      return DriveKind::Missing;
    case DRIVE_REMOVABLE:
      return DriveKind::Removable;
    case DRIVE_FIXED: {
      // A `subst` drive reads as fixed but belongs to the user's session, not to services.
      const wchar_t device[] = {static_cast<wchar_t>(letter), L':', L'\0'};
      std::vector<wchar_t> target(32768, L'\0');
      if (::QueryDosDeviceW(device, target.data(), static_cast<DWORD>(target.size())) != 0 &&
          std::wcsncmp(target.data(), L"\\??\\", 4) == 0) {
        return DriveKind::Substituted;
      }
      return DriveKind::Fixed;
    }
    case DRIVE_REMOTE:
      return DriveKind::Network;
    case DRIVE_CDROM:
      return DriveKind::CdRom;
    case DRIVE_RAMDISK:
      return DriveKind::RamDisk;
    default:
      return DriveKind::Unknown;
  }
}

OsResult<DriveSpace> FileSystemWin::FreeSpace(char letter) {
  const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
  ULARGE_INTEGER available{}, total{};
  if (!::GetDiskFreeSpaceExW(root, &available, &total, nullptr)) {
    return LastOsError("GetDiskFreeSpaceExW");
  }
  return DriveSpace{available.QuadPart, total.QuadPart};
}

OsStatus FileSystemWin::RecycleTree(const std::string& path) {
  std::wstring from = Utf8ToWide(WithoutTrailingSeparators(path));
  for (wchar_t& c : from) {
    if (c == L'/') c = L'\\';
  }
  // The source list ends with two NULs: one pushed here, one of the string itself. The buffer
  // is as long as the path needs.
  from.push_back(L'\0');
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT;
  const int result = ::SHFileOperationW(&operation);
  if (result != 0) {
    return OsError{static_cast<uint32_t>(result), "SHFileOperationW", ShellOperationText(result)};
  }
  if (operation.fAnyOperationsAborted) return MakeOsError(ERROR_CANCELLED, "SHFileOperationW");
  return OsStatus::Success();
}

OsResult<std::string> FileSystemWin::ReadFileBytes(const std::string& path) {
  ScopedFileHandle file = OpenForReading(path);
  if (!file) return LastOsError("CreateFileW");
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size)) return LastOsError("GetFileSizeEx");
  if (static_cast<uint64_t>(size.QuadPart) > kMaxWholeFile) {
    return MakeOsError(ERROR_FILE_TOO_LARGE, "ReadFile");
  }
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!ReadFully(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), got)) {
    return LastOsError("ReadFile");
  }
  bytes.resize(got);
  return bytes;
}

OsStatus FileSystemWin::CreateNewFileFlushed(const std::string& path, const std::string& bytes) {
  const std::wstring wide = ExtendedPath(path);
  // Unshared until it is closed, so nobody can open the new file while its bytes go in.
  ScopedFileHandle file(::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LastOsError("CreateFileW");
  const OsStatus written = WriteAllFlushed(file.get(), bytes);
  file = ScopedFileHandle();
  if (!written) ::DeleteFileW(wide.c_str());
  return written;
}

OsStatus FileSystemWin::ReplaceFileKeepingSecurity(const std::string& from, const std::string& to,
                                                   const std::string& backup) {
  // No write-through flag: the system documents it as unsupported, and `from` was flushed. With a
  // backup name, a failure never leaves the old content without a name (1176 without one does).
  if (!::ReplaceFileW(ExtendedPath(to).c_str(), ExtendedPath(from).c_str(),
                      ExtendedPath(backup).c_str(), 0, nullptr, nullptr)) {
    return LastOsError("ReplaceFileW");
  }
  return OsStatus::Success();
}

OsStatus FileSystemWin::ReplaceFileWith(const std::string& from, const std::string& to) {
  if (!::MoveFileExW(ExtendedPath(from).c_str(), ExtendedPath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return LastOsError("MoveFileExW");
  }
  return OsStatus::Success();
}

OsStatus FileSystemWin::RecycleTreeGuarded(const std::string& path) {
  const auto unsupported = [](const char* api) {
    return OsError{ERROR_NOT_SUPPORTED, api, SystemMessageText(ERROR_NOT_SUPPORTED)};
  };
  ComScope com;
  ComPtr<IFileOperation> operation;
  HRESULT result = ::CoCreateInstance(kClsidFileOperation, nullptr, CLSCTX_ALL, kIidFileOperation,
                                      reinterpret_cast<void**>(operation.receive()));
  if (FAILED(result)) return unsupported("CoCreateInstance");
  auto sink = MakeRecycleOnlySink();
  DWORD cookie = 0;
  result = operation.get()->Advise(sink.get(), &cookie);
  if (result == E_NOTIMPL) return unsupported("IFileOperation::Advise");
  if (FAILED(result)) return ComError(result, "IFileOperation::Advise");
  const ScopeExit unadvise([&] { operation.get()->Unadvise(cookie); });
  // No dialog of any kind: the sink decides, and the first failure ends the operation.
  result =
      operation.get()->SetOperationFlags(FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT |
                                         FOF_NOERRORUI | FOFX_RECYCLEONDELETE | FOFX_EARLYFAILURE);
  if (result == E_NOTIMPL) return unsupported("IFileOperation::SetOperationFlags");
  if (FAILED(result)) return ComError(result, "IFileOperation::SetOperationFlags");
  std::wstring wide = Utf8ToWide(WithoutTrailingSeparators(path));
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  ComPtr<IShellItem> item;
  result = ::SHCreateItemFromParsingName(wide.c_str(), nullptr, kIidShellItem,
                                         reinterpret_cast<void**>(item.receive()));
  if (FAILED(result)) return ComError(result, "SHCreateItemFromParsingName");
  result = operation.get()->DeleteItem(item.get(), nullptr);
  if (result == E_NOTIMPL) return unsupported("IFileOperation::DeleteItem");
  if (FAILED(result)) return ComError(result, "IFileOperation::DeleteItem");
  result = operation.get()->PerformOperations();
  if (SinkRefused(*sink)) {
    return OsError{ERROR_CANCELLED, "IFileOperation::PerformOperations",
                   "The recycle bin cannot take the folder; it was not deleted."};
  }
  if (result == E_NOTIMPL) return unsupported("IFileOperation::PerformOperations");
  if (FAILED(result)) return ComError(result, "IFileOperation::PerformOperations");
  BOOL aborted = FALSE;
  if (SUCCEEDED(operation.get()->GetAnyOperationsAborted(&aborted)) && aborted) {
    return OsError{ERROR_CANCELLED, "IFileOperation::PerformOperations",
                   "The recycle bin did not take the whole folder."};
  }
  return OsStatus::Success();
}

OsResult<uint64_t> FileSystemWin::RecycleBinItems(char letter) {
  const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
  SHQUERYRBINFO info{};
  info.cbSize = sizeof info;
  const HRESULT result = ::SHQueryRecycleBinW(root, &info);
  if (FAILED(result)) return ComError(result, "SHQueryRecycleBinW");
  return static_cast<uint64_t>(info.i64NumItems);
}

OsResult<uint64_t> FileSystemWin::ClusterSize(char letter) {
  const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  if (!::GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) {
    return LastOsError("GetDiskFreeSpaceW");
  }
  return static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
}

OsResult<std::unique_ptr<FileHandle>> FileSystemWin::OpenPath(const std::string& path, OpenAs as) {
  return OpenFileByPath(path, as);
}

OsStatus FileSystemWin::EnableRestorePrivilege() {
  ScopedKernelHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          token.receive())) {
    return LastOsError("OpenProcessToken");
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!::LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &privileges.Privileges[0].Luid)) {
    return LastOsError("LookupPrivilegeValueW");
  }
  if (!::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr)) {
    return LastOsError("AdjustTokenPrivileges");
  }
  // It succeeds without the privilege too, and says so only here.
  const DWORD error = ::GetLastError();
  if (error != ERROR_SUCCESS) return MakeOsError(error, "AdjustTokenPrivileges");
  return OsStatus::Success();
}

OsResult<std::string> FileSystemWin::ProcessUserSid() {
  ScopedKernelHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.receive())) {
    return LastOsError("OpenProcessToken");
  }
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  // DWORD-aligned for the structure it holds.
  std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
  if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(),
                             static_cast<DWORD>(buffer.size() * sizeof(DWORD)), &size)) {
    return LastOsError("GetTokenInformation");
  }
  return SidToString(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
}

OsResult<std::string> FileSystemWin::AccountName(const std::string& sid) {
  return AccountNameOf(sid);
}

uint32_t AnsiCodePageWin::Identifier() { return ::GetACP(); }

std::optional<std::string> AnsiCodePageWin::FromUtf8(const std::string& utf8) {
  AnsiText ansi = Utf8ToAnsi(utf8);
  if (!ansi.exact || AnsiToUtf8(ansi.bytes) != utf8) return std::nullopt;
  return std::move(ansi.bytes);
}

OsResult<std::string> AnsiCodePageWin::ToUtf8(const std::string& ansi) {
  if (ansi.empty()) return std::string();
  if (ansi.size() > static_cast<size_t>(INT_MAX)) {
    return MakeOsError(ERROR_INVALID_PARAMETER, "MultiByteToWideChar");
  }
  const int length = static_cast<int>(ansi.size());
  const int needed = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
  if (needed <= 0) return LastOsError("MultiByteToWideChar");
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  if (::MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, wide.data(), needed) != needed) {
    return LastOsError("MultiByteToWideChar");
  }
  // UTF-16 the system made always has a UTF-8 form.
  return WideToUtf8(wide);
}

std::optional<std::string> AnsiCodePageWin::Encode(uint32_t codePage, const std::string& utf8) {
  // 0 to 3 are no code pages but the system's and the thread's own.
  if (codePage <= CP_THREAD_ACP || !::IsValidCodePage(codePage)) return std::nullopt;
  AnsiText text = Utf8ToCodePage(codePage, utf8);
  if (!text.exact || CodePageToUtf8(codePage, text.bytes) != utf8) return std::nullopt;
  return std::move(text.bytes);
}

}  // namespace dpc::win32

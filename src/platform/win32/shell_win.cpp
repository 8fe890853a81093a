#include "platform/win32/shell_win.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "platform/win32/os_error_win.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/text.h"

namespace dpc::win32 {
namespace {

HWND ToHwnd(WindowId id) { return reinterpret_cast<HWND>(id); }

// What WinExec returns when the program has started.
constexpr uint32_t kWinExecStarted = 33;

}  // namespace

uint32_t ShellErrorToWin32(intptr_t instApp) {
  switch (instApp) {
    case SE_ERR_SHARE:
      return ERROR_SHARING_VIOLATION;
    case SE_ERR_ASSOCINCOMPLETE:
    case SE_ERR_NOASSOC:
      return ERROR_NO_ASSOCIATION;
    case SE_ERR_DDETIMEOUT:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDEBUSY:
      return ERROR_DDE_FAIL;
    case SE_ERR_DLLNOTFOUND:
      return ERROR_DLL_NOT_FOUND;
    case 0:
      return ERROR_OUTOFMEMORY;
    default:
      // 2, 3, 5, 8, 11 and the like are Windows error codes already.
      return instApp > 0 && instApp < 32 ? static_cast<uint32_t>(instApp) : ERROR_GEN_FAILURE;
  }
}

uint32_t WinExecResultForError(uint32_t error) { return error < 32 ? error : ERROR_BAD_FORMAT; }

std::optional<OsError> ShellWin::ExecuteEx(const ShellExecuteRequest& request) {
  const std::wstring verb = Utf8ToWide(request.verb);
  const std::wstring file = Utf8ToWide(request.file);
  const std::wstring parameters = Utf8ToWide(request.parameters);
  const std::wstring directory = Utf8ToWide(request.directory);

  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = request.mask;
  info.hwnd = ToHwnd(request.owner);
  info.lpVerb = NullIfEmpty(verb);
  info.lpFile = file.c_str();
  info.lpParameters = NullIfEmpty(parameters);
  info.lpDirectory = NullIfEmpty(directory);
  info.nShow = request.show;
  if (!::ShellExecuteExW(&info)) {
    DWORD code = ::GetLastError();
    if (code == ERROR_SUCCESS) code = ShellErrorToWin32(reinterpret_cast<intptr_t>(info.hInstApp));
    return MakeOsError(code, "ShellExecuteExW");
  }
  // The started process is never waited for; a handle asked for through the mask is let go.
  if ((info.fMask & SEE_MASK_NOCLOSEPROCESS) != 0 && info.hProcess != nullptr) {
    ::CloseHandle(info.hProcess);
  }
  return std::nullopt;
}

intptr_t ShellWin::Execute(WindowId owner, const std::string& verb, const std::string& file,
                           const std::string& parameters, const std::string& directory, int show) {
  const std::wstring wideVerb = Utf8ToWide(verb);
  const std::wstring wideParameters = Utf8ToWide(parameters);
  const std::wstring wideDirectory = Utf8ToWide(directory);
  const HINSTANCE result =
      ::ShellExecuteW(ToHwnd(owner), NullIfEmpty(wideVerb), Utf8ToWide(file).c_str(),
                      NullIfEmpty(wideParameters), NullIfEmpty(wideDirectory), show);
  return reinterpret_cast<intptr_t>(result);
}

uint32_t ShellWin::WinExec(const std::string& commandLine, int show, const std::string& directory) {
  // CreateProcessW may write into the command line, so it gets its own writable copy.
  std::wstring command = Utf8ToWide(commandLine);
  const std::wstring wideDirectory = Utf8ToWide(directory);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(show);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        NullIfEmpty(wideDirectory), &startup, &process)) {
    return WinExecResultForError(::GetLastError());
  }
  ScopedKernelHandle thread(process.hThread);
  ScopedKernelHandle child(process.hProcess);
  return kWinExecStarted;
}

std::string ShellWin::SpecialFolderPath(int csidl, bool create) {
  wchar_t path[MAX_PATH] = {};
  const int folder = csidl | (create ? CSIDL_FLAG_CREATE : 0);
  if (::SHGetFolderPathW(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return {};
  return WideToUtf8(path);
}

}  // namespace dpc::win32

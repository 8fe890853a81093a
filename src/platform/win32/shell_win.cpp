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

int ShowCommand(ShowMode show) {
  switch (show) {
    case ShowMode::Hide:
      return SW_HIDE;
    case ShowMode::Maximized:
      return SW_SHOWMAXIMIZED;
    case ShowMode::Show:
      return SW_SHOW;
    case ShowMode::Normal:
      break;
  }
  return SW_SHOWNORMAL;
}

ULONG ExecuteMask(ExecuteFlags flags) {
  ULONG mask = 0;
  if (Has(flags, ExecuteFlags::WaitForDde)) mask |= SEE_MASK_FLAG_DDEWAIT;
  if (Has(flags, ExecuteFlags::NoErrorUi)) mask |= SEE_MASK_FLAG_NO_UI;
  return mask;
}

int FolderId(SpecialFolder folder) {
  switch (folder) {
    case SpecialFolder::System:
      return CSIDL_SYSTEM;
    case SpecialFolder::CommonAppData:
      break;
  }
  return CSIDL_COMMON_APPDATA;
}

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

OsStatus ShellWin::ExecuteEx(const ShellExecuteRequest& request) {
  const std::wstring verb = Utf8ToWide(request.verb);
  const std::wstring file = Utf8ToWide(request.file);
  const std::wstring parameters = Utf8ToWide(request.parameters);
  const std::wstring directory = Utf8ToWide(request.directory);

  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = ExecuteMask(request.flags);
  info.hwnd = ToHwnd(request.owner);
  info.lpVerb = NullIfEmpty(verb);
  info.lpFile = file.c_str();
  info.lpParameters = NullIfEmpty(parameters);
  info.lpDirectory = NullIfEmpty(directory);
  info.nShow = ShowCommand(request.show);
  if (!::ShellExecuteExW(&info)) {
    DWORD code = ::GetLastError();
    if (code == ERROR_SUCCESS) code = ShellErrorToWin32(reinterpret_cast<intptr_t>(info.hInstApp));
    return MakeOsError(code, "ShellExecuteExW");
  }
  return OsStatus::Success();
}

OsStatus ShellWin::Execute(WindowId owner, const std::string& verb, const std::string& file,
                           const std::string& parameters, const std::string& directory,
                           ShowMode show) {
  const std::wstring wideVerb = Utf8ToWide(verb);
  const std::wstring wideParameters = Utf8ToWide(parameters);
  const std::wstring wideDirectory = Utf8ToWide(directory);
  const HINSTANCE result =
      ::ShellExecuteW(ToHwnd(owner), NullIfEmpty(wideVerb), Utf8ToWide(file).c_str(),
                      NullIfEmpty(wideParameters), NullIfEmpty(wideDirectory), ShowCommand(show));
  // Above 32 is success; at or below it, an SE_ERR_ value or a Windows error code.
  const intptr_t value = reinterpret_cast<intptr_t>(result);
  if (value <= 32) return MakeOsError(ShellErrorToWin32(value), "ShellExecuteW");
  return OsStatus::Success();
}

OsStatus ShellWin::WinExec(const std::string& commandLine, ShowMode show,
                           const std::string& directory) {
  // CreateProcessW may write into the command line, so it gets its own writable copy.
  std::wstring command = Utf8ToWide(commandLine);
  const std::wstring wideDirectory = Utf8ToWide(directory);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(ShowCommand(show));
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        NullIfEmpty(wideDirectory), &startup, &process)) {
    return LastOsError("CreateProcessW");
  }
  ScopedKernelHandle thread(process.hThread);
  ScopedKernelHandle child(process.hProcess);
  return OsStatus::Success();
}

OsResult<std::string> ShellWin::SpecialFolderPath(SpecialFolder folder) {
  wchar_t path[MAX_PATH] = {};
  const HRESULT result =
      ::SHGetFolderPathW(nullptr, FolderId(folder), nullptr, SHGFP_TYPE_CURRENT, path);
  if (result != S_OK) {
    // A Win32 error wrapped as HRESULT gives back its code; anything else reads as not found.
    const uint32_t code =
        HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result) : ERROR_FILE_NOT_FOUND;
    return MakeOsError(code, "SHGetFolderPathW");
  }
  return WideToUtf8(path);
}

}  // namespace dpc::win32

#include "platform/win32/desktop_win.h"

#include <windows.h>
#include <commdlg.h>

#include "platform/win32/os_error_win.h"
#include "platform/win32/text.h"

namespace dpc::win32 {
namespace {

HWND ToHwnd(WindowId id) { return reinterpret_cast<HWND>(id); }

// Room for long paths, so a deeply placed file is never refused as "buffer too small".
constexpr size_t kPathCapacity = 32768;

}  // namespace

std::wstring OpenDialogFilter(std::string_view filter) {
  std::wstring result = Utf8ToWide(filter);
  for (wchar_t& c : result) {
    if (c == L'|') c = L'\0';
  }
  // c_str() adds the second NUL; a filter that already ends in '|' has its pair already.
  if (result.empty() || result.back() != L'\0') result.push_back(L'\0');
  return result;
}

OsStatus DesktopWin::ShowMessage(const std::string& title, const std::string& text) {
  if (::MessageBoxW(ToHwnd(messageOwner_), Utf8ToWide(text).c_str(), Utf8ToWide(title).c_str(),
                    MB_OK | MB_SETFOREGROUND | MB_TOPMOST) == 0) {
    return LastOsError("MessageBoxW");
  }
  return OsStatus::Success();
}

OsResult<bool> DesktopWin::TopLevelWindowExists(const std::string& title) {
  // FindWindowW leaves the last error alone when it simply finds nothing; some versions say
  // ERROR_FILE_NOT_FOUND. Anything else is a search that failed.
  ::SetLastError(ERROR_SUCCESS);
  if (::FindWindowW(nullptr, Utf8ToWide(title).c_str()) != nullptr) return true;
  const DWORD code = ::GetLastError();
  if (code == ERROR_SUCCESS || code == ERROR_FILE_NOT_FOUND) return false;
  return MakeOsError(code, "FindWindowW");
}

OsResult<std::optional<std::string>> DesktopWin::ChooseFileToOpen(WindowId owner,
                                                                  const std::string& initialDir,
                                                                  const std::string& title,
                                                                  const std::string& filter) {
  const std::wstring wideFilter = OpenDialogFilter(filter);
  const std::wstring wideDir = Utf8ToWide(initialDir);
  const std::wstring wideTitle = Utf8ToWide(title);
  std::wstring path(kPathCapacity, L'\0');

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = ToHwnd(owner);
  dialog.lpstrFilter = filter.empty() ? nullptr : wideFilter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrInitialDir = NullIfEmpty(wideDir);
  dialog.lpstrTitle = NullIfEmpty(wideTitle);
  dialog.Flags = OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_EXPLORER;
  if (!::GetOpenFileNameW(&dialog)) {
    // 0 is the operator's cancel. The other codes (CDERR_*, FNERR_*) are the dialogs' own: the
    // system has no message for them.
    const DWORD code = ::CommDlgExtendedError();
    if (code == 0) return std::optional<std::string>();
    return OsError{code, "GetOpenFileNameW", ""};
  }
  path.resize(std::wcslen(path.c_str()));
  return std::optional(WideToUtf8(path));
}

}  // namespace dpc::win32

#include "platform/win32/desktop_win.h"

#include <windows.h>
#include <commdlg.h>

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

void DesktopWin::ShowMessage(const std::string& title, const std::string& text) {
  ::MessageBoxW(ToHwnd(messageOwner_), Utf8ToWide(text).c_str(), Utf8ToWide(title).c_str(),
                MB_OK | MB_SETFOREGROUND | MB_TOPMOST);
}

bool DesktopWin::TopLevelWindowExists(const std::string& title) {
  return ::FindWindowW(nullptr, Utf8ToWide(title).c_str()) != nullptr;
}

std::optional<std::string> DesktopWin::ChooseFileToOpen(WindowId owner,
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
  if (!::GetOpenFileNameW(&dialog)) return std::nullopt;
  path.resize(std::wcslen(path.c_str()));
  return WideToUtf8(path);
}

}  // namespace dpc::win32

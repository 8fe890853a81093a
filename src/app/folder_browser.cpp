#include "app/folder_browser.h"

#include <shlobj.h>

#include "platform/win32/text.h"

namespace dpc::app {

using win32::WideToUtf8;

namespace {

// The folder browser's initial folder, handed to its callback through lParam.
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM data) noexcept {
  if (message == BFFM_INITIALIZED && data) ::SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

}  // namespace

std::string BrowseForFolder(HWND owner, const std::wstring& title,
                            const std::wstring& initialFolder) {
  wchar_t display[MAX_PATH + 1] = {};
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.pszDisplayName = display;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  if (!initialFolder.empty()) {
    info.lpfn = &BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(initialFolder.c_str());
  }
  PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
  if (!chosen) return {};
  wchar_t path[MAX_PATH + 1] = {};
  const bool isFolder = ::SHGetPathFromIDListW(chosen, path) != FALSE;
  ::CoTaskMemFree(chosen);
  return isFolder ? WideToUtf8(path) : std::string();
}
}  // namespace dpc::app

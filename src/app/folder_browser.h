#pragma once

#include <windows.h>

#include <string>

namespace dpc::app {

// The shell's folder browser (BrowseForFolder): new folders allowed, starting at initialFolder
// when it is not empty. The chosen file-system folder, or empty.
std::string BrowseForFolder(HWND owner, const std::wstring& title,
                            const std::wstring& initialFolder);

}  // namespace dpc::app

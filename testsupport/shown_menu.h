#pragma once

#include <windows.h>

#include <cwchar>

namespace dpc::testsupport {

// The popup menu a process shows, if any: menus are visible top-level windows of the class
// "#32768". Another process can see them, though not read their items.
inline HWND ShownMenuOf(DWORD process) {
  struct Search {
    DWORD process;
    HWND found;
  } search{process, nullptr};
  EnumWindows(
      [](HWND window, LPARAM parameter) CALLBACK -> BOOL {
        auto& search = *reinterpret_cast<Search*>(parameter);
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != search.process || std::wcscmp(name, L"#32768") != 0 ||
            !IsWindowVisible(window)) {
          return TRUE;
        }
        search.found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace dpc::testsupport

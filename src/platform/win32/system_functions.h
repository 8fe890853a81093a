#pragma once

#include <windows.h>

namespace dpc::win32 {

// Functions of newer systems, looked up at run time so the program still starts where they are
// missing (older Windows, Wine): module, name and type. Adding one is adding a row.
// clang-format off
#define DPC_SYSTEM_FUNCTIONS(X)                                                                   \
  X(L"kernel32.dll", SetDefaultDllDirectories,    BOOL(WINAPI*)(DWORD))                           \
  X(L"user32.dll",   GetDpiForSystem,             UINT(WINAPI*)())                                \
  X(L"user32.dll",   GetDpiForWindow,             UINT(WINAPI*)(HWND))                            \
  X(L"user32.dll",   GetSystemMetricsForDpi,      int(WINAPI*)(int, UINT))                        \
  X(L"user32.dll",   SystemParametersInfoForDpi,  BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT))   \
  X(L"user32.dll",   ChangeWindowMessageFilterEx, BOOL(WINAPI*)(HWND, UINT, DWORD, void*))        \
  X(L"user32.dll",   ChangeWindowMessageFilter,   BOOL(WINAPI*)(UINT, DWORD))                     \
  X(L"user32.dll",   ShutdownBlockReasonCreate,   BOOL(WINAPI*)(HWND, LPCWSTR))                   \
  X(L"user32.dll",   ShutdownBlockReasonDestroy,  BOOL(WINAPI*)(HWND))                            \
  X(L"comctl32.dll", LoadIconWithScaleDown,       HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*)) \
  X(L"shcore.dll",   GetDpiForMonitor,            HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*))
// clang-format on

// Each returns the function's address, or nullptr where the system lacks it; looked up once.
namespace system_function {
#define DPC_DECLARE_SYSTEM_FUNCTION(module, name, type) \
  using name##Type = type;                              \
  name##Type name();
DPC_SYSTEM_FUNCTIONS(DPC_DECLARE_SYSTEM_FUNCTION)
#undef DPC_DECLARE_SYSTEM_FUNCTION
}  // namespace system_function

}  // namespace dpc::win32

// A stand-in for the front-panel display library: it records every call in "libUib32.calls.txt"
// beside itself, one line per call with tab-separated fields, and takes its behaviour from
// "libUib32.config" beside itself (key=value lines):
//   initlib_result=N  what UIB_InitLib returns (default 0)
//   post_button=N     UIB_InitLib posts the button message with wParam N to the given window
// Built twice for 32-bit x86: with __stdcall exports, as a library made for Windows usually has,
// and with __cdecl ones (DPC_STANDIN_CDECL), since the vendor's convention is not documented.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr UINT kPanelButtonMessage = 0x8020;

std::wstring ModuleFolder() {
  HMODULE self = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ModuleFolder), &self);
  wchar_t path[MAX_PATH * 4] = {};
  const DWORD length = GetModuleFileNameW(self, path, static_cast<DWORD>(std::size(path)));
  std::wstring folder(path, length);
  const auto slash = folder.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

std::string ToUtf8(const wchar_t* text, int length) {
  if (length == 0) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  return out;
}

void Record(const std::string& line) {
  const std::wstring path = ModuleFolder() + L"libUib32.calls.txt";
  if (FILE* file = _wfopen(path.c_str(), L"ab")) {
    std::fputs((line + "\r\n").c_str(), file);
    std::fclose(file);
  }
}

// The value of key in the config file, or fallback.
long ConfigValue(const char* key, long fallback) {
  const std::wstring path = ModuleFolder() + L"libUib32.config";
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return fallback;
  long value = fallback;
  char line[256];
  const size_t keyLength = std::strlen(key);
  while (std::fgets(line, sizeof line, file)) {
    if (std::strncmp(line, key, keyLength) == 0 && line[keyLength] == '=') {
      value = std::strtol(line + keyLength + 1, nullptr, 10);
    }
  }
  std::fclose(file);
  return value;
}

}  // namespace

#ifdef DPC_STANDIN_CDECL
#define UIB_CALL __cdecl
#else
#define UIB_CALL WINAPI
#endif

// Exported by name through the .def files, undecorated.
extern "C" {

int32_t UIB_CALL UIB_InitLib(void* window) {
  Record("UIB_InitLib\t" + std::to_string(reinterpret_cast<uintptr_t>(window)));
  const long button = ConfigValue("post_button", 0);
  if (button != 0) {
    PostMessageW(static_cast<HWND>(window), kPanelButtonMessage, static_cast<WPARAM>(button), 0);
  }
  return static_cast<int32_t>(ConfigValue("initlib_result", 0));
}

int32_t UIB_CALL UIB_UnInitLib() {
  Record("UIB_UnInitLib");
  return 0;
}

#ifndef DPC_STANDIN_WITHOUT_CLEAR
int32_t UIB_CALL UIB_ClearDisplay() {
  Record("UIB_ClearDisplay");
  return 0;
}
#endif

int32_t UIB_CALL UIB_DrawText(const wchar_t* text, int32_t line, uint8_t highlight, uint8_t style) {
  const int length = text ? static_cast<int>(wcslen(text)) : 0;
  Record("UIB_DrawText\t" + (text ? ToUtf8(text, length) : std::string()) + "\t" +
         std::to_string(line) + "\t" + std::to_string(highlight) + "\t" + std::to_string(style) +
         "\t" + std::to_string(length));
  return 0;
}

}  // extern "C"

// A stand-in companion program: appends its command line and working folder to
// "<exe name>.started.txt" beside itself, then exits. One build serves under every name the
// controller starts.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[MAX_PATH * 4] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  const std::wstring exe(path, length);

  wchar_t folder[MAX_PATH * 4] = {};
  const DWORD folderLength = GetCurrentDirectoryW(static_cast<DWORD>(std::size(folder)), folder);

  const std::wstring record = exe + L".started.txt";
  FILE* file = _wfopen(record.c_str(), L"ab");
  if (!file) return 1;
  const std::string text = "command_line=" + ToUtf8(GetCommandLineW()) + "\r\n" +
                           "directory=" + ToUtf8(std::wstring(folder, folderLength)) + "\r\n";
  std::fputs(text.c_str(), file);
  std::fclose(file);
  return 0;
}

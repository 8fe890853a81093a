#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/text.h"

namespace dpc::win32::testing {

// Wine exports this from ntdll; Windows does not.
inline bool RunningUnderWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A fresh folder under the temporary folder, removed with its files. Its name lies outside every
// ANSI code page, so each adapter is proved to reach the system through the W functions, unless
// plain ASCII is asked for (for programs that only take ANSI paths).
class TempFolder {
 public:
  enum class Name { Unicode, Ascii };
  explicit TempFolder(Name kind = Name::Unicode) {
    wchar_t base[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, base);
    const std::string name = kind == Name::Ascii
                                 ? "dpc-ascii-"
                                 : "dpc-\xC5\x81\xC3\xB3"
                                   "d\xC5\xBA-\xE6\x9D\xB1\xE4\xBA\xAC-\xE2\x9C\x93-";
    path_ = WideToUtf8(base) + name + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(++counter_);
    ::CreateDirectoryW(Utf8ToWide(path_).c_str(), nullptr);
  }
  ~TempFolder() { RemoveTree(Utf8ToWide(path_)); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }

 private:
  static void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    const HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring child = folder + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTree(child);
        } else {
          ::DeleteFileW(child.c_str());
        }
      } while (::FindNextFileW(find, &found));
      ::FindClose(find);
    }
    ::RemoveDirectoryW(folder.c_str());
  }

  static inline int counter_ = 0;
  std::string path_;
};

inline std::string ReadBytes(const std::string& path) {
  const HANDLE file =
      ::CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char chunk[4096];
  DWORD read = 0;
  while (::ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) {
    bytes.append(chunk, read);
  }
  ::CloseHandle(file);
  return bytes;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  const HANDLE file =
      ::CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
}

}  // namespace dpc::win32::testing

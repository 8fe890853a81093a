#include "platform/win32/profile_store_win.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/os_error_win.h"
#include "platform/win32/text.h"

namespace dpc::win32 {

std::string ProfileStoreWin::ReadString(const std::string& file, const std::string& section,
                                        const std::string& key, const std::string& fallback) {
  const std::wstring wideFile = Utf8ToWide(file);
  const std::wstring wideSection = Utf8ToWide(section);
  const std::wstring wideKey = Utf8ToWide(key);
  const std::wstring wideFallback = Utf8ToWide(fallback);
  // A value that fills the buffer to the last character may have been cut: grow and read again.
  std::wstring buffer(256, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length =
        ::GetPrivateProfileStringW(wideSection.c_str(), wideKey.c_str(), wideFallback.c_str(),
                                   buffer.data(), size, wideFile.c_str());
    if (length + 1 < size || buffer.size() >= (1u << 20)) {
      buffer.resize(std::min<size_t>(length, buffer.size()));
      return WideToUtf8(buffer);
    }
    buffer.assign(buffer.size() * 4, L'\0');
  }
}

OsStatus ProfileStoreWin::WriteString(const std::string& file, const std::string& section,
                                      const std::string& key, const std::string& value) {
  if (!::WritePrivateProfileStringW(Utf8ToWide(section).c_str(), Utf8ToWide(key).c_str(),
                                    Utf8ToWide(value).c_str(), Utf8ToWide(file).c_str())) {
    return LastOsError("WritePrivateProfileStringW");
  }
  return OsStatus::Success();
}

}  // namespace dpc::win32

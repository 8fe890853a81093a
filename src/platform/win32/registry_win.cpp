#include "platform/win32/registry_win.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "platform/win32/os_error_win.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/text.h"

namespace dpc::win32 {
namespace {

class RegistryKeyWin final : public RegistryKey {
 public:
  explicit RegistryKeyWin(ScopedRegistryKey key) : key_(std::move(key)) {}

  OsResult<bool> ValueExists(const std::string& name) override {
    const LSTATUS status = ::RegQueryValueExW(key_.get(), Utf8ToWide(name).c_str(), nullptr,
                                              nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) return true;
    if (status == ERROR_FILE_NOT_FOUND) return false;
    return MakeOsError(static_cast<uint32_t>(status), "RegQueryValueExW");
  }

  OsResult<std::string> ReadString(const std::string& name) override {
    const std::wstring wideName = Utf8ToWide(name);
    DWORD type = 0;
    DWORD size = 0;
    LSTATUS status =
        ::RegQueryValueExW(key_.get(), wideName.c_str(), nullptr, &type, nullptr, &size);
    // The value may grow between the size query and the read; ask again with the new size.
    for (int attempt = 0; attempt < 4 && status == ERROR_SUCCESS; ++attempt) {
      if (type != REG_SZ && type != REG_EXPAND_SZ) return NotAString();
      // One spare character: a value stored without its terminating NUL still ends in one here.
      std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
      DWORD bytes = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
      status = ::RegQueryValueExW(key_.get(), wideName.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &bytes);
      if (status == ERROR_MORE_DATA) {
        size = bytes;
        status = ERROR_SUCCESS;
        continue;
      }
      if (status != ERROR_SUCCESS) break;
      if (type != REG_SZ && type != REG_EXPAND_SZ) return NotAString();
      size_t length = bytes / sizeof(wchar_t);
      while (length > 0 && data[length - 1] == L'\0') --length;
      // Text after an embedded NUL is not part of a string value.
      std::wstring value(data.data(), length);
      value.resize(std::wcslen(value.c_str()));
      return WideToUtf8(value);
    }
    // Still growing after four reads: report it as the read that kept asking for more room.
    if (status == ERROR_SUCCESS) status = ERROR_MORE_DATA;
    return MakeOsError(static_cast<uint32_t>(status), "RegQueryValueExW");
  }

  OsStatus WriteString(const std::string& name, const std::string& value) override {
    const std::wstring wideValue = Utf8ToWide(value);
    const DWORD bytes = static_cast<DWORD>((wideValue.size() + 1) * sizeof(wchar_t));
    const LSTATUS status =
        ::RegSetValueExW(key_.get(), Utf8ToWide(name).c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(wideValue.c_str()), bytes);
    if (status != ERROR_SUCCESS)
      return MakeOsError(static_cast<uint32_t>(status), "RegSetValueExW");
    return OsStatus::Success();
  }

  OsStatus DeleteValue(const std::string& name) override {
    const LSTATUS status = ::RegDeleteValueW(key_.get(), Utf8ToWide(name).c_str());
    if (status != ERROR_SUCCESS)
      return MakeOsError(static_cast<uint32_t>(status), "RegDeleteValueW");
    return OsStatus::Success();
  }

 private:
  static OsError NotAString() { return MakeOsError(ERROR_UNSUPPORTED_TYPE, "RegQueryValueExW"); }

  ScopedRegistryKey key_;
};

REGSAM AccessMask(KeyAccess access) {
  switch (access) {
    case KeyAccess::Read:
      return KEY_READ;
    case KeyAccess::ReadWrite:
      return KEY_READ | KEY_WRITE;
    case KeyAccess::Full:
      break;
  }
  return KEY_ALL_ACCESS;
}

}  // namespace

OsResult<std::unique_ptr<RegistryKey>> RegistryWin::OpenMachineKey(const std::string& path,
                                                                   KeyAccess access) {
  const size_t start = path.find_first_not_of('\\');
  const std::wstring widePath = Utf8ToWide(start == std::string::npos ? "" : path.substr(start));
  ScopedRegistryKey key;
  // RegOpenKeyExW returns its error rather than setting the thread's last error.
  const LSTATUS status =
      ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, widePath.c_str(), 0, AccessMask(access), key.receive());
  if (status != ERROR_SUCCESS) return MakeOsError(static_cast<uint32_t>(status), "RegOpenKeyExW");
  return std::unique_ptr<RegistryKey>(std::make_unique<RegistryKeyWin>(std::move(key)));
}

}  // namespace dpc::win32

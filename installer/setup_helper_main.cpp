// Process entry of the installer package's helper program (see setup_helper.h). Windows Installer
// shows no text from a program custom action, so the exit code is the whole report; a verbose
// installer log names it. 0: done, 1: a file or value could not be written, 2: bad arguments.

// First: keeps <windows.h> macros such as DeleteFile away from the platform interfaces' names.
#include "platform/win32/files_win.h"
#include "platform/win32/registry_win.h"
#include "platform/win32/text.h"
#include "platform/win32/xml_win.h"

#include <windows.h>
#include <msi.h>
#include <objbase.h>

#include <exception>
#include <stdexcept>

#include "setup_helper.h"
#include "shell/tray_menu.h"

namespace {

bool WriteTextFile(const std::string& path, const std::string& text) {
  HANDLE file = ::CreateFileW(dpc::win32::Utf8ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE &&
      written == text.size();
  return ::CloseHandle(file) != FALSE && ok;
}

// The controller opens the Run key and never creates it; an installation that turns autostart on
// makes sure it is there.
void CreateRunKey() {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, dpc::win32::Utf8ToWide(dpc::kRunKey).c_str(), 0,
                        nullptr, 0, KEY_READ, nullptr, &key, nullptr) == ERROR_SUCCESS) {
    ::RegCloseKey(key);
  }
}

bool OtherVersionInstalled(const std::string& upgradeCode, const std::string& productCode) {
  if (upgradeCode.empty()) return false;
  const std::wstring upgrade = dpc::win32::Utf8ToWide(upgradeCode);
  const std::wstring own = dpc::win32::Utf8ToWide(productCode);
  for (DWORD index = 0;; ++index) {
    wchar_t product[39] = {};
    if (::MsiEnumRelatedProductsW(upgrade.c_str(), 0, index, product) != ERROR_SUCCESS)
      return false;
    if (::CompareStringOrdinal(product, -1, own.c_str(), -1, TRUE) != CSTR_EQUAL) return true;
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  using namespace dpc;
  try {
    const setup::Request request = setup::ParseCommandLine(win32::WideToUtf8(::GetCommandLineW()));
    // The product information file is read with MSXML, a COM object.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (void)com;
    win32::FileSystemWin files;
    win32::ProfileStoreWin profiles;
    win32::XmlParserWin xml;
    win32::RegistryWin registry;
    setup::SetupPlatform platform{files, profiles, xml, registry, WriteTextFile, [&request] {
                                    return OtherVersionInstalled(request.Get("UPGRADECODE"),
                                                                 request.Get("PRODUCTCODE"));
                                  }};
    if (request.step == setup::Step::kInstall) {
      if (request.Get("AUTOSTART") == "1") CreateRunKey();
      setup::Install(request, platform);
    } else {
      setup::Uninstall(request, platform);
    }
    return 0;
  } catch (const std::invalid_argument&) {
    return 2;
  } catch (...) {
    return 1;
  }
}

// Process entry of the installer package's helper program (see setup_helper.h). Windows Installer
// shows no text from a program custom action, so the exit code is the whole report; a verbose
// installer log names it. 0: done, 1: a file or value could not be written, 2: bad arguments.

#include "platform/win32/file_system_win.h"
#include "platform/win32/installer_link_win.h"
#include "platform/win32/profile_store_win.h"
#include "platform/win32/registry_win.h"
#include "platform/win32/text.h"
#include "platform/win32/xml_win.h"

#include <windows.h>
#include <msi.h>
#include <objbase.h>
#include <tlhelp32.h>

#include <chrono>
#include <exception>
#include <optional>
#include <stdexcept>
#include <thread>

#include "platform/scope_exit.h"
#include "setup_helper.h"
#include "platform/autostart.h"

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

std::optional<std::string> ReadTextFile(const std::string& path) {
  dpc::win32::ScopedFileHandle file(::CreateFileW(dpc::win32::Utf8ToWide(path).c_str(),
                                                  GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
    throw std::runtime_error("cannot read " + path);
  }
  std::string text;
  char buffer[4096];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr))
      throw std::runtime_error("cannot read " + path);
    if (read == 0) return text;
    text.append(buffer, read);
  }
}

// Whether a process runs the program at this path, in any session.
bool ProgramRuns(const std::wstring& program) {
  dpc::win32::ScopedKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    dpc::win32::ScopedKernelHandle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    wchar_t image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (process && ::QueryFullProcessImageNameW(process.get(), 0, image, &size) &&
        ::CompareStringOrdinal(image, -1, program.c_str(), -1, TRUE) == CSTR_EQUAL) {
      return true;
    }
  }
  return false;
}

// Raises the controllers' close signal and holds it until no controller of this program runs, or
// for at most the bound: a controller closes at its next supervision tick (3 s at most) unless it
// is cleaning up a folder move. One still running keeps its file, which Windows Installer then
// replaces at the next restart. The published name goes again, so the product leaves no trace.
void CloseControllers(const std::string& executable) {
  constexpr auto kBound = std::chrono::seconds(30);
  constexpr auto kPoll = std::chrono::milliseconds(250);
  const dpc::win32::ScopedKernelHandle signal = dpc::win32::RaiseCloseSignal();
  if (!signal) return;
  const dpc::ScopeExit withdraw([] { dpc::win32::WithdrawCloseSignal(); });
  const std::wstring program = dpc::win32::Utf8ToWide(executable);
  const auto end = std::chrono::steady_clock::now() + kBound;
  while (ProgramRuns(program) && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(kPoll);
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
    setup::SetupPlatform platform{
        files, profiles, xml, registry, WriteTextFile, ReadTextFile, [&request] {
          return OtherVersionInstalled(request.Get("UPGRADECODE"), request.Get("PRODUCTCODE"));
        }};
    switch (request.step) {
      case setup::Step::kInstall:
        if (request.Get("AUTOSTART") == "1") CreateRunKey();
        setup::Install(request, platform);
        break;
      case setup::Step::kUninstall:
        setup::Uninstall(request, platform);
        break;
      case setup::Step::kRollback:
        setup::Rollback(request, platform);
        break;
      case setup::Step::kCommit:
        setup::Commit(request, platform);
        break;
      case setup::Step::kRestoreAutostart:
        CreateRunKey();
        setup::RestoreAutostart(request, platform);
        break;
      case setup::Step::kClose:
        CloseControllers(request.Get("EXE"));
        break;
    }
    return 0;
  } catch (const std::invalid_argument&) {
    return 2;
  } catch (...) {
    return 1;
  }
}

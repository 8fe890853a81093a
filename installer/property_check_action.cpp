// The package's check of the properties an administrator gives: a DLL custom action that runs
// before anything is written, with the rule the helper program applies when it writes them
// (setup_helper.h), so a value is refused at once with its reason rather than after the files are
// copied. For the first value refused it sets BadProperty and BadPropertyReason, and the package's
// error action then stops the installation with a message that names both.

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/text.h"
#include "setup_helper.h"

namespace {

using dpc::win32::Utf8ToWide;
using dpc::win32::WideToUtf8;

std::string Property(MSIHANDLE install, const std::string& name) {
  const std::wstring wideName = Utf8ToWide(name);
  wchar_t empty[1] = L"";
  DWORD size = 0;
  if (::MsiGetPropertyW(install, wideName.c_str(), empty, &size) != ERROR_MORE_DATA) return {};
  std::wstring value(++size, L'\0');
  if (::MsiGetPropertyW(install, wideName.c_str(), value.data(), &size) != ERROR_SUCCESS) return {};
  value.resize(size);
  return WideToUtf8(value);
}

// The first value refused: its property's name and the reason.
std::optional<std::pair<std::string, std::string>> FirstRefused(MSIHANDLE install) {
  std::vector<std::string> names(std::begin(dpc::setup::kProductProperties),
                                 std::end(dpc::setup::kProductProperties));
  for (const auto& setting : dpc::setup::kSettingProperties) names.push_back(setting.property);
  for (const std::string& name : names) {
    if (auto why = dpc::setup::WhyRefused(name, Property(install, name)))
      return std::pair(name, *why);
  }
  return std::nullopt;
}

}  // namespace

// Called by Windows Installer by this name (linked without the stdcall decoration). A failure
// of the check itself stops the installation too.
extern "C" __declspec(dllexport) UINT __stdcall CheckProperties(MSIHANDLE install) noexcept {
  try {
    const auto refused = FirstRefused(install);
    if (!refused) return ERROR_SUCCESS;
    const bool set = ::MsiSetPropertyW(install, L"BadPropertyReason",
                                       Utf8ToWide(refused->second).c_str()) == ERROR_SUCCESS &&
                     ::MsiSetPropertyW(install, L"BadProperty",
                                       Utf8ToWide(refused->first).c_str()) == ERROR_SUCCESS;
    return set ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
  } catch (...) {
    return ERROR_INSTALL_FAILURE;
  }
}

#include "shell/control_settings.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "platform/os_error.h"
#include "platform/text_error.h"
#include "shell/numbers.h"

namespace dpc {

namespace {

int32_t ReadWholeNumber(ProfileStore& profiles, const std::string& ini, const char* section,
                        const char* key, int32_t fallback) {
  return ParseWholeNumber(profiles.ReadString(ini, section, key, "")).value_or(fallback);
}

bool ReadControlFlag(ProfileStore& profiles, const std::string& ini, const char* key) {
  return profiles.ReadString(ini, "Control", key, "0") == "1";
}

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string ChildText(XmlElement& parent, const char* name) {
  const auto child = ValueOrRaise(parent.Child(name));
  if (!child) return {};
  const OsResult<std::string> text = child->Text();
  if (!text) throw SystemError(text.error());
  return Trim(*text);
}

}  // namespace

ControlSettings LoadControlSettings(FileSystem& files, ProfileStore& profiles,
                                    const std::string& iniPath) {
  ControlSettings s;
  // A file the system cannot look at could not be read either: the defaults stand, as for none.
  if (const OsResult<bool> found = files.FileExists(iniPath); !found || !*found) return s;
  s.SettingsFileFound = true;
  s.RestartEnabled = ReadWholeNumber(profiles, iniPath, "Restart", "ServerRestartEnabled", 0);
  s.RestartDay = ReadWholeNumber(profiles, iniPath, "Restart", "Day", 0);
  s.RestartTime = profiles.ReadString(iniPath, "Restart", "Time", "0");
  s.PMSettingsEnabled = ReadWholeNumber(profiles, iniPath, "Settings", "PMSettingsEnabled", 0);
  s.WebProfilerEnabled = ReadWholeNumber(profiles, iniPath, "Settings", "WebProfilerEnabled", 0);
  s.WebProfilerAddress =
      profiles.ReadString(iniPath, "Settings", "WebProfilerAddress", s.WebProfilerAddress);
  if (s.WebProfilerAddress.empty()) s.WebProfilerAddress = ControlSettings().WebProfilerAddress;
  s.HideUpdater = ReadControlFlag(profiles, iniPath, kHideUpdaterKey);
  s.HideServerConfiguration = ReadControlFlag(profiles, iniPath, kHideServerConfigurationKey);
  s.HideClientStart = ReadControlFlag(profiles, iniPath, kHideClientStartKey);
  s.HidePopupMenu = ReadControlFlag(profiles, iniPath, "HidePopupMenu");
  s.Notifications = ReadControlFlag(profiles, iniPath, "Notifications");
  return s;
}

bool ControlSettings::Hides(std::string_view key) const {
  if (key == kHideUpdaterKey) return HideUpdater;
  if (key == kHideServerConfigurationKey) return HideServerConfiguration;
  if (key == kHideClientStartKey) return HideClientStart;
  return false;
}

std::string ReadProductVersion(FileSystem& files, ProfileStore& profiles,
                               const std::string& iniPath) {
  // As for a missing file: the hint is refreshed at every activation, an error would be too.
  if (const OsResult<bool> found = files.FileExists(iniPath); !found || !*found) return "5.0";
  return profiles.ReadString(iniPath, "Product", "Version", "4.0");
}

int64_t ReadFeedbackDue(ProfileStore& profiles, const std::string& iniPath) {
  const auto value = ParseRealNumber(profiles.ReadString(iniPath, "Feedback", "Timer", ""));
  // Anything beyond 64 bits is no moment the schedule could have written.
  constexpr double kLimit = 9.2e18;
  if (!value || std::fabs(*value) >= kLimit) return 0;
  return std::llround(*value);
}

void WriteFeedbackDue(ProfileStore& profiles, const std::string& iniPath, int64_t seconds) {
  (void)profiles.WriteString(iniPath, "Feedback", "Timer", std::to_string(seconds));
}

ProductInfo LoadProductInfo(FileSystem& files, XmlParser& xml, Registry& registry,
                            const std::string& xmlPath) {
  ProductInfo info;
  if (!ValueOrRaise(files.FileExists(xmlPath))) return info;

  auto root = xml.LoadDocumentElement(xmlPath);
  if (!root) root.error().Raise();
  const auto main = ValueOrRaise((*root)->Child("main"));
  if (!main) {
    throw TextError("The product information file '%s' has no \"main\" element.", {xmlPath});
  }
  info.ProductGuid = ChildText(*main, "productguid");
  info.ClientName = ChildText(*main, "clientname");

  if (!info.ProductGuid.empty()) {
    if (auto key =
            registry.OpenMachineKey(kUninstallKeyPrefix + info.ProductGuid, KeyAccess::Read)) {
      const OsResult<std::string> location = (*key)->ReadString("InstallLocation");
      if (location) info.InstallLocation = *location;
    }
  }
  info.ClientAvailable =
      ValueOrRaise(files.FileExists(info.InstallLocation + "\\" + info.ClientName));
  return info;
}

}  // namespace dpc

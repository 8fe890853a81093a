#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/file_system.h"
#include "platform/profile_store.h"
#include "platform/registry.h"
#include "platform/uninstall_entry.h"
#include "platform/xml.h"
#include "service/supervision.h"

namespace dpc {

// The [Control] keys whose "1" hides menu items; the command table names which items.
inline constexpr char kHideUpdaterKey[] = "HideUpdater";
inline constexpr char kHideServerConfigurationKey[] = "HideServerConfiguration";
inline constexpr char kHideClientStartKey[] = "HideClientStart";

// The control settings file's values, read once at window creation. The initial values are those
// of a missing file; a missing key in an existing file has its own default (see the .cpp).
struct ControlSettings {
  bool SettingsFileFound = false;
  int32_t RestartEnabled = 0;  // [Restart] ServerRestartEnabled
  int32_t RestartDay = 0;      // [Restart] Day: 0 every day, 1 Sunday .. 7 Saturday
  std::string RestartTime;     // [Restart] Time
  int32_t PMSettingsEnabled = 0;
  int32_t WebProfilerEnabled = 0;
  bool HideUpdater = false;  // [Control] keys: only the text "1" hides
  bool HideServerConfiguration = false;
  bool HideClientStart = false;
  bool HidePopupMenu = false;
  bool Notifications = false;  // [Control] Notifications: "1" shows balloons about the server
  std::string WebProfilerAddress = "http://localhost:8080/";  // [Settings] WebProfilerAddress

  // Whether the hide key of that name was set; false for any other name.
  bool Hides(std::string_view key) const;
};

ControlSettings LoadControlSettings(FileSystem& files, ProfileStore& profiles,
                                    const std::string& iniPath);

// [Product] Version, read afresh: "5.0" without the file, "4.0" without the key.
std::string ReadProductVersion(FileSystem& files, ProfileStore& profiles,
                               const std::string& iniPath);

// [Feedback] Timer in time-stamp seconds, taken to the nearest whole second; 0 when empty or not a
// number.
int64_t ReadFeedbackDue(ProfileStore& profiles, const std::string& iniPath);
void WriteFeedbackDue(ProfileStore& profiles, const std::string& iniPath, int64_t seconds);

// The feedback schedule's due moment in the settings file.
class SettingsFileFeedback final : public FeedbackStore {
 public:
  SettingsFileFeedback(ProfileStore& profiles, std::string iniPath)
      : profiles_(profiles), iniPath_(std::move(iniPath)) {}
  int64_t ReadDue() override { return ReadFeedbackDue(profiles_, iniPath_); }
  void WriteDue(int64_t seconds) override { WriteFeedbackDue(profiles_, iniPath_, seconds); }

 private:
  ProfileStore& profiles_;
  std::string iniPath_;
};

// What the product information file and the product's uninstall entry say about the client.
struct ProductInfo {
  std::string ProductGuid;
  std::string ClientName;
  std::string InstallLocation;
  bool ClientAvailable = false;
};

// Empty info when the file is missing. Throws std::runtime_error when the file is not well-formed
// or has no "main" element.
ProductInfo LoadProductInfo(FileSystem& files, XmlParser& xml, Registry& registry,
                            const std::string& xmlPath);

}  // namespace dpc

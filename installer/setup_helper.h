#pragma once

// The installer package's helper program: it writes the package properties into the files beside
// the installed controller, which Windows Installer's own tables cannot do (a settings value only
// when its property is given, the product information file as XML), and keeps the controller's
// autostart value, with the controller's own name and data, so that removing it never takes the
// machine's Run key with it. The package runs it with the step and the properties on its command
// line, formatted by Windows Installer.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/profile_store.h"
#include "platform/registry.h"
#include "platform/xml.h"

namespace dpc::setup {

// A package property that is written into the control settings file when it is given.
struct SettingProperty {
  const char* property;
  const char* section;
  const char* key;
};

inline constexpr SettingProperty kSettingProperties[] = {
    {"RESTARTENABLED", "Restart", "ServerRestartEnabled"},
    {"RESTARTDAY", "Restart", "Day"},
    {"RESTARTTIME", "Restart", "Time"},
    {"MAINTENANCE", "Settings", "PMSettingsEnabled"},
    {"WEBPROFILER", "Settings", "WebProfilerEnabled"},
    {"WEBPROFILERADDRESS", "Settings", "WebProfilerAddress"},
    {"HIDEUPDATER", "Control", "HideUpdater"},
    {"HIDESERVERCONFIGURATION", "Control", "HideServerConfiguration"},
    {"HIDECLIENTSTART", "Control", "HideClientStart"},
    {"HIDEPOPUPMENU", "Control", "HidePopupMenu"},
    {"NOTIFICATIONS", "Control", "Notifications"},
};

// The properties an administrator may give besides the settings; INSTALLDIR has checks of its own.
inline constexpr const char* kProductProperties[] = {"AUTOSTART", "PRODUCTGUID", "CLIENTNAME"};

// Why the property's value cannot be written as given ("it must be 0 or 1"); nullopt when it can,
// and for an empty value, which means not given. One rule for the package's check before anything
// is written and for the helper program that writes: a value the controller would read otherwise
// than meant (HIDEUPDATER=yes hides nothing), one that would break the helper's command line or
// the settings file (a double quote, a line break), an address the controller would not open, a
// client name that leaves the product's folder.
std::optional<std::string> WhyRefused(std::string_view property, std::string_view value);

// install and uninstall change the machine; rollback puts back what install changed, commit
// lets its backup go; restore-autostart puts back the value an uninstall removed; close asks every
// running controller to close and waits for them.
enum class Step { kInstall, kUninstall, kRollback, kCommit, kRestoreAutostart, kClose };

struct Request {
  Step step = Step::kInstall;
  std::map<std::string, std::string> values;  // only names the helper knows
  // The value given for the name; empty when it was not given (Windows Installer formats an unset
  // property as empty text, so empty and absent mean the same).
  std::string Get(const std::string& name) const;
};

// Parses the whole command line: the program name (quoted or not), the step ("install",
// "uninstall", "rollback", "commit", "restore-autostart" or "close"), then items "NAME=value",
// each in double quotes. Throws std::invalid_argument for an unknown step or name, a name given
// twice, an item that is not quoted as a whole (a value with a double quote in it), a value with a
// control character (it could start a new line, and with it a new key, in the settings file), or
// a property's value that WhyRefused refuses.
Request ParseCommandLine(std::string_view commandLine);

// A file name without a folder, drive, wildcard or stream: the elevated controller starts the
// program of that name in the product's folder, and nowhere else.
bool IsBareFileName(std::string_view name);

struct SetupPlatform {
  FileSystem& files;
  ProfileStore& profiles;
  XmlParser& xml;
  Registry& registry;
  // Replaces the file's content with the UTF-8 text; false when it cannot.
  std::function<bool(const std::string& path, const std::string& text)> writeTextFile;
  // The file's whole content; nullopt when there is none. Throws when it exists but cannot be
  // read.
  std::function<std::optional<std::string>(const std::string& path)> readTextFile;
  // Whether another version of the product (same upgrade code, other product code) is installed.
  std::function<bool()> otherVersionInstalled;
};

// What the installation changes, as it was before: nullopt where there was nothing.
struct Backup {
  std::optional<std::string> settingsFile;
  std::optional<std::string> productInfoFile;
  std::optional<std::string> autostartValue;
  bool operator==(const Backup&) const = default;
};
std::string BackupDocument(const Backup& backup);
// Throws std::runtime_error for a document that BackupDocument did not write.
Backup ParseBackup(std::string_view document);
// Beside the executable, in the folder only administrators may change.
std::string BackupPath(const std::string& executable);

// Install: first the backup of everything it is about to change (nothing is changed when that
// cannot be written); then the product version and each given setting into the settings file (other
// keys, and the file an administrator edited, stay as they are); the product information file
// when a property for it is given or there is none yet; last, the autostart value written for
// AUTOSTART=1 and this controller's removed for AUTOSTART=0 (a repair passes neither and leaves
// it). Throws std::runtime_error when a file or the value cannot be written; the Run key must
// exist.
void Install(const Request& request, SetupPlatform& platform);

// A failed installation: puts back what the backup holds (a file or value that was not there is
// removed), then removes the backup. Nothing to do without a backup.
void Rollback(const Request& request, SetupPlatform& platform);
// A successful installation: the backup goes.
void Commit(const Request& request, SetupPlatform& platform);
// A failed removal: writes this controller's autostart value again when it is missing.
void RestoreAutostart(const Request& request, SetupPlatform& platform);

// Uninstall: removes the controller's autostart value, which the controller may have written
// itself, unless another version stays installed (an upgrade, where it is the operator's choice).
void Uninstall(const Request& request, SetupPlatform& platform);

// The product information document for these values, with XML's special characters escaped.
std::string ProductInfoDocument(const std::string& productGuid, const std::string& clientName);

}  // namespace dpc::setup

#include "setup_helper.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <stdexcept>

#include "launchers/launchers.h"
#include "platform/autostart.h"
#include "shell/control_settings.h"
#include "platform/paths.h"

namespace dpc::setup {
namespace {

// Names the package passes besides the settings: the installed executable, the settings file's
// product version, the autostart choice, the product information and the package's own codes.
constexpr const char* kPackageArguments[] = {
    "EXE", "VERSION", "AUTOSTART", "PRODUCTGUID", "CLIENTNAME", "UPGRADECODE", "PRODUCTCODE"};

bool IsKnownName(std::string_view name) {
  for (const char* known : kPackageArguments) {
    if (name == known) return true;
  }
  for (const auto& setting : kSettingProperties) {
    if (name == setting.property) return true;
  }
  return false;
}

// The settings whose only values are 0 and 1, as the controller reads them.
constexpr std::string_view kSwitches[] = {
    "AUTOSTART",       "RESTARTENABLED", "MAINTENANCE",
    "WEBPROFILER",     "HIDEUPDATER",    "HIDESERVERCONFIGURATION",
    "HIDECLIENTSTART", "HIDEPOPUPMENU",  "NOTIFICATIONS"};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The rest of the command line after the program name, which Windows quotes only when it holds
// blanks.
std::string_view AfterProgramName(std::string_view line) {
  size_t end = 0;
  if (!line.empty() && line.front() == '"') {
    end = line.find('"', 1);
    end = end == std::string_view::npos ? line.size() : end + 1;
  } else {
    while (end < line.size() && !IsBlank(line[end])) ++end;
  }
  return line.substr(end);
}

std::string_view SkipBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return text;
}

std::string Unquoted(std::string text) {
  const size_t first = text.find_first_not_of(" \t");
  const size_t last = text.find_last_not_of(" \t");
  if (first == std::string::npos) return {};
  text = text.substr(first, last - first + 1);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    text = text.substr(1, text.size() - 2);
  return text;
}

std::string EscapeXml(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// Removes the Run value that starts this executable. A value of the same name that starts a copy
// elsewhere belongs to that copy and stays.
void RemoveOwnAutostart(Registry& registry, const std::string& executable) {
  const AutostartEntry entry = AutostartEntryFor(executable);
  auto key = registry.OpenMachineKey(kRunKey, KeyAccess::ReadWrite);
  if (!key) return;
  const auto data = (*key)->ReadString(entry.name);
  if (!data || Lower(Unquoted(*data)) != Lower(executable)) return;
  if (const OsStatus deleted = (*key)->DeleteValue(entry.name); !deleted)
    throw SystemError(deleted.error());
}

void WriteOwnAutostart(Registry& registry, const std::string& executable) {
  RaiseIfFailed(WriteAutostart(registry, executable));
}

constexpr std::pair<const char*, Step> kSteps[] = {
    {"install", Step::kInstall},
    {"uninstall", Step::kUninstall},
    {"rollback", Step::kRollback},
    {"commit", Step::kCommit},
    {"restore-autostart", Step::kRestoreAutostart},
    {"close", Step::kClose},
};

constexpr char kBackupHeader[] = "DurvinProofControl setup backup 1\n";
// The backup's entries, in their order: a name, a blank, the length in bytes or "-" for nothing,
// a line feed, the bytes and a line feed.
constexpr const char* kBackupNames[] = {"ini", "xml", "run"};

std::optional<std::string>* BackupEntry(Backup& backup, size_t index) {
  std::optional<std::string>* entries[] = {&backup.settingsFile, &backup.productInfoFile,
                                           &backup.autostartValue};
  return entries[index];
}

void RestoreFile(SetupPlatform& platform, const std::string& path,
                 const std::optional<std::string>& content) {
  // A file the installation never changed is left alone: it may be held open by the one who made
  // the installation fail.
  if (platform.readTextFile(path) == content) return;
  if (content) {
    if (!platform.writeTextFile(path, *content)) throw std::runtime_error("cannot write " + path);
  } else if (ValueOrRaise(platform.files.FileExists(path))) {
    if (const OsStatus deleted = platform.files.RemoveFile(path); !deleted)
      throw SystemError(deleted.error());
  }
}

std::string Required(const Request& request, const std::string& name) {
  std::string value = request.Get(name);
  if (value.empty()) throw std::invalid_argument(name + " is missing");
  return value;
}

}  // namespace

std::string Request::Get(const std::string& name) const {
  auto it = values.find(name);
  return it == values.end() ? std::string() : it->second;
}

Request ParseCommandLine(std::string_view commandLine) {
  std::string_view rest = SkipBlanks(AfterProgramName(commandLine));
  const size_t stepEnd = std::min(rest.find_first_of(" \t"), rest.size());
  const std::string_view step = rest.substr(0, stepEnd);
  Request request;
  const auto* known = std::find_if(std::begin(kSteps), std::end(kSteps),
                                   [&](const auto& entry) { return step == entry.first; });
  if (known == std::end(kSteps))
    throw std::invalid_argument("unknown step '" + std::string(step) + "'");
  request.step = known->second;
  rest = SkipBlanks(rest.substr(stepEnd));

  while (!rest.empty()) {
    const size_t close = rest.front() == '"' ? rest.find('"', 1) : std::string_view::npos;
    // An item must end at its closing quote: a double quote inside a value would shift every
    // following item, so it is refused rather than guessed at.
    if (close == std::string_view::npos || (close + 1 < rest.size() && !IsBlank(rest[close + 1]))) {
      throw std::invalid_argument("an item is not a quoted NAME=value: " + std::string(rest));
    }
    const std::string_view item = rest.substr(1, close - 1);
    rest = SkipBlanks(rest.substr(close + 1));

    const size_t equals = item.find('=');
    if (equals == std::string_view::npos)
      throw std::invalid_argument("an item has no '=': " + std::string(item));
    const std::string name(item.substr(0, equals));
    const std::string value(item.substr(equals + 1));
    if (!IsKnownName(name)) throw std::invalid_argument("unknown name " + name);
    // The package refuses these before anything is written; checked again here, since the values
    // end up where the elevated controller acts on them.
    if (const auto why = WhyRefused(name, value)) throw std::invalid_argument(name + ": " + *why);
    if (!request.values.emplace(name, value).second)
      throw std::invalid_argument(name + " is given twice");
  }
  return request;
}

std::optional<std::string> WhyRefused(std::string_view property, std::string_view value) {
  if (value.empty()) return std::nullopt;
  if (std::any_of(value.begin(), value.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
    return "it holds a control character, such as a line break";
  }
  if (value.find('"') != std::string_view::npos) return "it holds a double quote";
  if (std::find(std::begin(kSwitches), std::end(kSwitches), property) != std::end(kSwitches) &&
      value != "0" && value != "1") {
    return "it must be 0 or 1";
  }
  if (property == "RESTARTDAY" && (value.size() != 1 || value[0] < '0' || value[0] > '7'))
    return "it must be 0 (every day) or 1 to 7 (Sunday to Saturday)";
  if (property == "WEBPROFILERADDRESS" && !IsWebAddress(value)) {
    return "it must be an http:// or https:// address with a host, without blanks, quotes, "
           "< > or `";
  }
  if (property == "CLIENTNAME" && !IsBareFileName(value)) {
    return "it must be a bare file name, without a folder, a drive, wildcards, or a dot or "
           "blank at its end";
  }
  return std::nullopt;
}

bool IsBareFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  // Windows drops trailing dots and blanks, so "client.exe." would name another file than it says.
  if (name.back() == '.' || name.back() == ' ') return false;
  return name.find_first_of("\\/:*?\"<>|") == std::string_view::npos;
}

std::string BackupPath(const std::string& executable) {
  return ReplaceExtension(executable, ".setup-backup");
}

std::string BackupDocument(const Backup& backup) {
  std::string document = kBackupHeader;
  Backup copy = backup;
  for (size_t i = 0; i < std::size(kBackupNames); ++i) {
    const std::optional<std::string>& entry = *BackupEntry(copy, i);
    document += std::string(kBackupNames[i]) + " " + (entry ? std::to_string(entry->size()) : "-") +
                "\n" + entry.value_or("") + "\n";
  }
  return document;
}

Backup ParseBackup(std::string_view document) {
  const auto bad = [] { return std::runtime_error("the setup backup is damaged"); };
  if (document.substr(0, std::size(kBackupHeader) - 1) != kBackupHeader) throw bad();
  document.remove_prefix(std::size(kBackupHeader) - 1);
  Backup backup;
  for (size_t i = 0; i < std::size(kBackupNames); ++i) {
    const std::string prefix = std::string(kBackupNames[i]) + " ";
    const size_t lineEnd = document.find('\n');
    if (document.substr(0, prefix.size()) != prefix || lineEnd == std::string_view::npos)
      throw bad();
    const std::string_view length = document.substr(prefix.size(), lineEnd - prefix.size());
    document.remove_prefix(lineEnd + 1);
    if (length == "-") {
      if (document.empty() || document.front() != '\n') throw bad();
      document.remove_prefix(1);
      continue;
    }
    if (length.empty() || length.size() > 9 ||
        length.find_first_not_of("0123456789") != std::string_view::npos)
      throw bad();
    const size_t size = std::stoul(std::string(length));
    if (document.size() < size + 1 || document[size] != '\n') throw bad();
    *BackupEntry(backup, i) = std::string(document.substr(0, size));
    document.remove_prefix(size + 1);
  }
  if (!document.empty()) throw bad();
  return backup;
}

std::string ProductInfoDocument(const std::string& productGuid, const std::string& clientName) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
         "<product>\r\n"
         "  <main>\r\n"
         "    <productguid>" +
         EscapeXml(productGuid) +
         "</productguid>\r\n"
         "    <clientname>" +
         EscapeXml(clientName) +
         "</clientname>\r\n"
         "  </main>\r\n"
         "</product>\r\n";
}

void Install(const Request& request, SetupPlatform& platform) {
  const std::string executable = Required(request, "EXE");
  const std::string iniPath = ReplaceExtension(executable, ".ini");
  const std::string xmlPath = ReplaceExtension(executable, ".xml");

  const Backup before{platform.readTextFile(iniPath), platform.readTextFile(xmlPath),
                      ReadAutostart(platform.registry, executable)};
  if (!platform.writeTextFile(BackupPath(executable), BackupDocument(before)))
    throw std::runtime_error("cannot write " + BackupPath(executable));

  auto write = [&](const char* section, const char* key, const std::string& value) {
    if (!platform.profiles.WriteString(iniPath, section, key, value).ok())
      throw std::runtime_error("cannot write " + iniPath);
  };
  // The version belongs to the package, so an upgrade updates it even in an edited file.
  write("Product", "Version", Required(request, "VERSION"));
  for (const auto& setting : kSettingProperties) {
    const std::string value = request.Get(setting.property);
    if (!value.empty()) write(setting.section, setting.key, value);
  }

  std::string productGuid = request.Get("PRODUCTGUID");
  std::string clientName = request.Get("CLIENTNAME");
  // A file that cannot be looked at could not be kept or rewritten either: the system's error says
  // why better than the write would.
  const bool exists = ValueOrRaise(platform.files.FileExists(xmlPath));
  if (!exists || !productGuid.empty() || !clientName.empty()) {
    if (exists) {
      // A value not given now keeps what the file said, so an upgrade without the properties
      // does not forget them.
      try {
        const ProductInfo present =
            LoadProductInfo(platform.files, platform.xml, platform.registry, xmlPath);
        if (productGuid.empty()) productGuid = present.ProductGuid;
        if (clientName.empty()) clientName = present.ClientName;
      } catch (const std::exception&) {
        // A damaged file is replaced by one with the given values.
      }
    }
    if (!platform.writeTextFile(xmlPath, ProductInfoDocument(productGuid, clientName)))
      throw std::runtime_error("cannot write " + xmlPath);
  }

  const std::string autostart = request.Get("AUTOSTART");
  if (autostart == "1") {
    WriteOwnAutostart(platform.registry, executable);
  } else if (autostart == "0") {
    RemoveOwnAutostart(platform.registry, executable);
  }
}

void Rollback(const Request& request, SetupPlatform& platform) {
  const std::string executable = Required(request, "EXE");
  const std::string backupPath = BackupPath(executable);
  const std::optional<std::string> document = platform.readTextFile(backupPath);
  if (!document) return;  // the installation failed before it changed anything
  const Backup backup = ParseBackup(*document);
  // Each part is put back even when another cannot be; the backup stays for a second try then.
  std::string failures;
  const auto attempt = [&](const auto& restore) {
    try {
      restore();
    } catch (const std::exception& failure) {
      failures += std::string(failures.empty() ? "" : "; ") + failure.what();
    }
  };
  attempt(
      [&] { RestoreFile(platform, ReplaceExtension(executable, ".ini"), backup.settingsFile); });
  attempt(
      [&] { RestoreFile(platform, ReplaceExtension(executable, ".xml"), backup.productInfoFile); });
  attempt([&] {
    const std::string name = AutostartEntryFor(executable).name;
    if (ReadAutostart(platform.registry, executable) == backup.autostartValue) return;
    auto key = platform.registry.OpenMachineKey(kRunKey, KeyAccess::ReadWrite);
    if (!key) throw SystemError(key.error());
    const OsStatus restored = backup.autostartValue
                                  ? (*key)->WriteString(name, *backup.autostartValue)
                                  : (*key)->DeleteValue(name);
    if (!restored) throw SystemError(restored.error());
  });
  if (!failures.empty()) throw std::runtime_error(failures);
  (void)platform.files.RemoveFile(backupPath);
}

void Commit(const Request& request, SetupPlatform& platform) {
  const std::string backupPath = BackupPath(Required(request, "EXE"));
  // A backup that cannot be looked at is removed all the same, as best effort like the rest.
  if (const OsResult<bool> found = platform.files.FileExists(backupPath); !found || *found)
    (void)platform.files.RemoveFile(backupPath);
}

void RestoreAutostart(const Request& request, SetupPlatform& platform) {
  const std::string executable = Required(request, "EXE");
  if (!ReadAutostart(platform.registry, executable))
    WriteOwnAutostart(platform.registry, executable);
}

void Uninstall(const Request& request, SetupPlatform& platform) {
  if (platform.otherVersionInstalled()) return;
  RemoveOwnAutostart(platform.registry, Required(request, "EXE"));
}

}  // namespace dpc::setup

#include "setup_helper.h"

#include <algorithm>
#include <stdexcept>

#include "shell/control_settings.h"
#include "platform/paths.h"
#include "shell/tray_menu.h"

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
  auto key = registry.OpenMachineKey(kRunKey, reg::kRead | reg::kWrite);
  if (!key) return;
  const auto data = key->ReadString(entry.name);
  if (!data || Lower(Unquoted(*data)) != Lower(executable)) return;
  if (auto error = key->DeleteValue(entry.name)) throw SystemError(*error);
}

void WriteOwnAutostart(Registry& registry, const std::string& executable) {
  const AutostartEntry entry = AutostartEntryFor(executable);
  auto key = registry.OpenMachineKey(kRunKey, reg::kRead | reg::kWrite);
  if (!key) throw std::runtime_error(std::string("cannot open ") + kRunKey);
  if (auto error = key->WriteString(entry.name, entry.data)) throw SystemError(*error);
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
  if (step == "install") {
    request.step = Step::kInstall;
  } else if (step == "uninstall") {
    request.step = Step::kUninstall;
  } else {
    throw std::invalid_argument("unknown step '" + std::string(step) + "'");
  }
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
    if (std::any_of(value.begin(), value.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
      throw std::invalid_argument(name + " holds a control character");
    }
    if (!request.values.emplace(name, value).second)
      throw std::invalid_argument(name + " is given twice");
  }
  return request;
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

  auto write = [&](const char* section, const char* key, const std::string& value) {
    if (!platform.profiles.WriteString(iniPath, section, key, value))
      throw std::runtime_error("cannot write " + iniPath);
  };
  // The version belongs to the package, so an upgrade updates it even in an edited file.
  write("Product", "Version", Required(request, "VERSION"));
  for (const auto& setting : kSettingProperties) {
    const std::string value = request.Get(setting.property);
    if (!value.empty()) write(setting.section, setting.key, value);
  }

  const std::string xmlPath = ReplaceExtension(executable, ".xml");
  std::string productGuid = request.Get("PRODUCTGUID");
  std::string clientName = request.Get("CLIENTNAME");
  const bool exists = platform.files.FileExists(xmlPath);
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

void Uninstall(const Request& request, SetupPlatform& platform) {
  if (platform.otherVersionInstalled()) return;
  RemoveOwnAutostart(platform.registry, Required(request, "EXE"));
}

}  // namespace dpc::setup

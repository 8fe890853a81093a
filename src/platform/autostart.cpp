#include "platform/autostart.h"

#include "platform/paths.h"

namespace dpc {

AutostartEntry AutostartEntryFor(const std::string& executablePath) {
  return {FileStem(executablePath), "\"" + executablePath + "\""};
}

std::optional<std::string> ReadAutostart(Registry& registry, const std::string& executablePath) {
  auto key = registry.OpenMachineKey(kRunKey, KeyAccess::Read);
  if (!key) return std::nullopt;
  OsResult<std::string> value = (*key)->ReadString(AutostartEntryFor(executablePath).name);
  if (!value) return std::nullopt;
  return std::move(*value);
}

bool IsAutostartPresent(Registry& registry, const std::string& executablePath) {
  auto key = registry.OpenMachineKey(kRunKey, KeyAccess::Read);
  if (!key) return false;
  const OsResult<bool> present = (*key)->ValueExists(AutostartEntryFor(executablePath).name);
  return present && *present;
}

OsStatus WriteAutostart(Registry& registry, const std::string& executablePath) {
  const AutostartEntry entry = AutostartEntryFor(executablePath);
  auto key = registry.OpenMachineKey(kRunKey, KeyAccess::ReadWrite);
  if (!key) return key.error();
  return (*key)->WriteString(entry.name, entry.data);
}

Result<bool, AutostartFailure> ToggleAutostart(Registry& registry,
                                               const std::string& executablePath) {
  const AutostartEntry entry = AutostartEntryFor(executablePath);
  auto opened = registry.OpenMachineKey(kRunKey, KeyAccess::ReadWrite);
  if (!opened) return AutostartFailure{false, opened.error()};
  RegistryKey& key = **opened;
  const OsResult<bool> present = key.ValueExists(entry.name);
  if (!present) return AutostartFailure{false, present.error()};
  if (*present) {
    if (const OsStatus removed = key.DeleteValue(entry.name); !removed) {
      return AutostartFailure{true, removed.error()};
    }
    return false;
  }
  if (const OsStatus written = key.WriteString(entry.name, entry.data); !written) {
    return AutostartFailure{false, written.error()};
  }
  return true;
}

}  // namespace dpc

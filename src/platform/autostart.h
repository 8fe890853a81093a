#pragma once

#include <optional>
#include <string>

#include "platform/os_result.h"
#include "platform/registry.h"

namespace dpc {

// The controller starts with Windows through one value under the machine's Run key: named after
// the executable's file name without extension, holding its quoted full path. The tray menu and
// the installer's helper both read and change it here.
inline constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

struct AutostartEntry {
  std::string name;  // the executable's file name without extension
  std::string data;  // the quoted full path
};
AutostartEntry AutostartEntryFor(const std::string& executablePath);

// The value's data, whatever program it starts; nullopt when the key or the value cannot be read.
std::optional<std::string> ReadAutostart(Registry& registry, const std::string& executablePath);
bool IsAutostartPresent(Registry& registry, const std::string& executablePath);
// Writes the value for this executable; nothing is created when the key cannot be opened.
OsStatus WriteAutostart(Registry& registry, const std::string& executablePath);

// Why a toggle failed, with the registry's error.
struct AutostartFailure {
  bool removing = false;  // the value was there and could not be removed
  OsError error;
};
// Removes the value when present, else writes it; returns whether it is present afterwards.
// Nothing is created when the key cannot be opened.
Result<bool, AutostartFailure> ToggleAutostart(Registry& registry,
                                               const std::string& executablePath);

}  // namespace dpc

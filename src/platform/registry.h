#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/os_error.h"

namespace dpc {

namespace reg {
inline constexpr uint32_t kRead = 0x20019;
inline constexpr uint32_t kWrite = 0x20006;
}  // namespace reg

// An open registry key; destroying it closes the key.
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;
  virtual bool ValueExists(const std::string& name) = 0;
  // A REG_SZ or REG_EXPAND_SZ value; nullopt when absent or of another type.
  virtual std::optional<std::string> ReadString(const std::string& name) = 0;
  // Writes a REG_SZ value; nullopt on success.
  virtual std::optional<OsError> WriteString(const std::string& name, const std::string& value) = 0;
  // nullopt on success.
  virtual std::optional<OsError> DeleteValue(const std::string& name) = 0;
};

// An opened key, or why it could not be opened.
struct KeyOpening {
  std::unique_ptr<RegistryKey> key;
  OsError error;  // with no key: the system's code (2 for a missing key, 5 for access denied)
};

// Keys under HKEY_LOCAL_MACHINE.
class Registry {
 public:
  virtual ~Registry() = default;
  // Opens an existing key with the given access; never creates one. nullptr when it cannot.
  virtual std::unique_ptr<RegistryKey> OpenMachineKey(const std::string& path, uint32_t access) = 0;
  // The same, with the system's error when the key cannot be opened, for messages that say why.
  virtual KeyOpening OpenMachineKeyOrError(const std::string& path, uint32_t access) = 0;
};

}  // namespace dpc

#pragma once

#include <memory>
#include <string>

#include "platform/os_result.h"

namespace dpc {

// What an opened key may be used for.
enum class KeyAccess {
  Read,       // query values
  ReadWrite,  // query, set and delete values
  Full,       // every right on the key
};

// An open registry key; destroying it closes the key. Failures carry the system's code (2 for a
// missing value, 5 for access denied).
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;
  // Whether the value exists; an error only when the key cannot be asked.
  virtual OsResult<bool> ValueExists(const std::string& name) = 0;
  // A REG_SZ or REG_EXPAND_SZ value; an error when it is absent or of another type.
  virtual OsResult<std::string> ReadString(const std::string& name) = 0;
  // Writes a REG_SZ value.
  virtual OsStatus WriteString(const std::string& name, const std::string& value) = 0;
  virtual OsStatus DeleteValue(const std::string& name) = 0;
};

// Keys under HKEY_LOCAL_MACHINE.
class Registry {
 public:
  virtual ~Registry() = default;
  // Opens an existing key with the given access; never creates one. When it cannot, the system's
  // error says why (2 for a missing key, 5 for access denied).
  virtual OsResult<std::unique_ptr<RegistryKey>> OpenMachineKey(const std::string& path,
                                                                KeyAccess access) = 0;
};

}  // namespace dpc

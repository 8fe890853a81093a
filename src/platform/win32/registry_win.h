#pragma once

#include "platform/registry.h"

namespace dpc::win32 {

class RegistryWin final : public Registry {
 public:
  // Leading backslashes of the path are dropped: the system takes key paths relative to the root.
  OsResult<std::unique_ptr<RegistryKey>> OpenMachineKey(const std::string& path,
                                                        KeyAccess access) override;
};

}  // namespace dpc::win32

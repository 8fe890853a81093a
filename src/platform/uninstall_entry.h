#pragma once

namespace dpc {

// The key of an installed product's uninstall entry under HKEY_LOCAL_MACHINE is this prefix and
// the product's code ("{...}"); the controller reads it and the folder move rewrites it.
inline constexpr char kUninstallKeyPrefix[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

}  // namespace dpc

#!/usr/bin/env bash
# Builds the Windows Installer package of the controller, on a fresh Debian machine too: installs
# the tools (scripts/setup.sh: the cross compiler, wixl, msitools), builds the x86 controller, the
# installer's helper program and its folder check with the windows preset, and runs wixl and
# msibuild through the preset's "package" target. Prints the package's path:
#   build/windows/installer/DurvinProofControl-<version>-x86.msi
# DPC_WINDOWS_DIR chooses another build folder, DPC_JOBS the parallel jobs (default 2).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
windows_dir=${DPC_WINDOWS_DIR:-build/windows}

bash scripts/setup.sh
mkdir -p build/logs
cmake --preset windows -B "$windows_dir" >build/logs/windows-configure.log 2>&1 ||
  { cat build/logs/windows-configure.log; exit 1; }
cmake --build "$windows_dir" -j "${DPC_JOBS:-2}" --target package

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$windows_dir/CMakeCache.txt")
package="$windows_dir/installer/DurvinProofControl-$version-x86.msi"
[[ -f $package ]] || { echo "package.sh: $package was not built" >&2; exit 1; }
echo "$package"

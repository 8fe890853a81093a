#!/usr/bin/env bash
# Installs the build and test tools from Debian's packages: native and cross compilers,
# GoogleTest, Wine (with its 32-bit half, for the x86 controller), Xvfb and the X tools the
# Windows-side tests and the demo use, gettext for the translations, clang for the fuzzers and
# wixl/msitools for the installer. Idempotent; quiet and quick when everything is there. Runs as
# root (CI) or through sudo.
set -euo pipefail

packages=(
  cmake ninja-build g++ googletest libgtest-dev libgmock-dev
  g++-mingw-w64-i686-posix mingw-w64-tools
  wine wine64 wine32:i386
  # Wine only recommends these, but its X11 driver needs them for tray icons, menus and dialogs.
  libxrender1 libxrandr2 libxi6 libxcursor1 libxfixes3 libxinerama1 libxcomposite1 fonts-wine
  # Kana, hangul and both Chinese scripts for the Japanese, Korean and Chinese interfaces.
  fonts-wqy-microhei
  xvfb xauth xdotool x11-utils imagemagick
  gettext
  clang libclang-rt-14-dev
  wixl msitools
)

missing=()
architecture=$(dpkg --print-architecture)
installed=$(dpkg-query -W -f='${binary:Package} ${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null ||
  true)
for package in "${packages[@]}"; do
  # Multi-arch libraries print as name:amd64 once the i386 architecture is added.
  awk -v p="$package" -v native="$package:$architecture" \
    '($1 == p || $1 == native) && $2 == "ii" { found = 1 } END { exit !found }' <<<"$installed" ||
    missing+=("$package")
done
# The cross-built tests compile GoogleTest from these sources.
[[ -f /usr/src/googletest/CMakeLists.txt ]] || missing+=(googletest)

if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=()
if ((EUID != 0)); then
  sudo=(sudo)
fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
# wine32 comes from the i386 architecture: 32-bit programs run under a 64-bit prefix (WoW64).
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo[@]}" dpkg --add-architecture i386
fi
"${sudo[@]}" apt-get update -q >/dev/null
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  "${missing[@]}" >/dev/null
echo "setup: done" >&2

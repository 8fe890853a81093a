#!/usr/bin/env bash
# Installs the build and test tools from Debian's packages: native and cross compilers,
# GoogleTest, Wine, Xvfb and the X tools the Windows-side tests and the demo use.
# Idempotent; quiet and quick when everything is there. Runs as root (CI) or through sudo.
set -euo pipefail

packages=(
  cmake ninja-build g++ googletest libgtest-dev libgmock-dev
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64
  # Wine only recommends these, but its X11 driver needs them for tray icons, menus and dialogs.
  libxrender1 libxrandr2 libxi6 libxcursor1 libxfixes3 libxinerama1 libxcomposite1 fonts-wine
  xvfb xauth xdotool x11-utils imagemagick
)

missing=()
installed=$(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null || true)
for package in "${packages[@]}"; do
  grep -q "^$package ii" <<<"$installed" || missing+=("$package")
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
"${sudo[@]}" apt-get update -q >/dev/null
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  "${missing[@]}" >/dev/null
echo "setup: done" >&2

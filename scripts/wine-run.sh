#!/usr/bin/env bash
# CTest's emulator for the cross-built programs, and the one way the scripts start a Windows
# program: runs it under 64-bit Wine, bounded, in the prefix the harness (scripts/wine-env.sh) set.
# Used both for test runs and for GoogleTest's listing of tests before a run.
#
# Environment: WINEPREFIX, DISPLAY and WINEDEBUG as the harness exported them;
# DPC_WINE_TIMEOUT bounds the run in seconds (default 600).
set -u

if [[ -z ${WINEPREFIX:-} ]]; then
  # Run by hand, outside the harness: a prefix of the build tree, never the user's own. Wine
  # creates it on first use; Mono and Gecko are not installed, so do not ask for them, and
  # Start-menu entries that installers create stay off the host's desktop.
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  export WINEPREFIX="$here/../build/windows/wine-prefix"
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
  mkdir -p "$WINEPREFIX"
fi
export WINEDEBUG="${WINEDEBUG:--all}"

exec timeout -k 10 "${DPC_WINE_TIMEOUT:-600}" /usr/lib/wine/wine64 "$@"

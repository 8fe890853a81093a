#!/usr/bin/env bash
# How long the controller's tray menu takes to open under Wine, against a plain 15-item tray menu
# in the same prefix: tray request posted -> menu window visible, median and 95th percentile.
# The prefix holds the stand-in "Durvin Proof Server" (running) and DPC_MENU_SERVICES (default
# 200) other services, since the menu reads the server's state from the service manager.
#
#   bench/run-menu-bench.sh [openings]     (default 100)
#
# Environment: DPC_BENCH_BUILD, the Windows build folder (default build/bench-w);
# DPC_MENU_CONTROLLER, another DurvinProofControl.exe to time instead (an older build, say).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${DPC_BENCH_BUILD:-$root/build/bench-w}
openings=${1:-100}
services=${DPC_MENU_SERVICES:-200}
cd "$root"

if [[ ! -f $build/build.ninja ]]; then
  cmake --preset windows -B "$build" >/dev/null
fi
cmake --build "$build" -j2 --target DurvinProofControl DurvinStandInService menu_bench plain_tray \
  >/dev/null

# shellcheck source=../scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
dpc_wine_setup menu-bench

standin=$build/bin/DurvinStandInService.exe
dpc_wine "$standin" install normal
dpc_wine "$standin" start

# Other services, never started: one batch file, so one cmd.exe runs every sc.exe.
batch=$WINEPREFIX/drive_c/dpc-services.cmd
printf '@echo off\r\n' >"$batch"
for ((i = 1; i <= services; i++)); do
  printf 'sc create DpcBenchService%03d binpath= "C:\\windows\\system32\\notepad.exe" displayname= "Bench Service %03d" >nul\r\n' "$i" "$i"
done >>"$batch"
DPC_WINE_CALL_TIMEOUT=600 dpc_wine cmd /c 'C:\dpc-services.cmd'
echo "services: stand-in running, $services others installed"

folder=$WINEPREFIX/drive_c/dpc-menu
mkdir -p "$folder"
cp "${DPC_MENU_CONTROLLER:-$build/bin/DurvinProofControl.exe}" "$folder/DurvinProofControl.exe"
cp "$build/bin/plain_tray.exe" "$folder/"

# measure NAME PROGRAM: starts the program, times its menu, ends it.
measure() {
  local name=$1 program=$2 runner
  (cd "$folder" && DPC_WINE_CALL_TIMEOUT=900 dpc_wine "$program") &
  runner=$!
  sleep 5
  printf '%-22s ' "$name:"
  DPC_WINE_CALL_TIMEOUT=900 dpc_wine "$build/bin/menu_bench.exe" "$openings"
  dpc_wine taskkill /im "$program" >/dev/null 2>&1 || true
  wait "$runner" 2>/dev/null || true
  sleep 1
}

measure "DurvinProofControl" DurvinProofControl.exe
measure "plain 15-item menu" plain_tray.exe
[[ -n ${DPC_MENU_KEEP:-} ]] && cp "$folder/DurvinProofControl.log" "$DPC_MENU_KEEP"

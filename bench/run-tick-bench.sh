#!/usr/bin/env bash
# Memory and time per tick of the supervision tick and the scheduled-restart tick, against Wine's
# real service manager with the stand-in "Durvin Proof Server" installed and running.
#
#   bench/run-tick-bench.sh [first [last]]     (default 1000 10000)
#
# Environment: DPC_BENCH_BUILD, the Windows build folder (default build/bench-w), configured with
# the "windows" preset and built here (-j2) when needed. Exit code: that of tick_bench.exe
# (0 steady, 1 growth, 2 could not run).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${DPC_BENCH_BUILD:-$root/build/bench-w}
cd "$root"

if [[ ! -f $build/build.ninja ]]; then
  cmake --preset windows -B "$build" >/dev/null
fi
cmake --build "$build" -j2 --target tick_bench DurvinStandInService >/dev/null

# shellcheck source=../scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
dpc_wine_setup tick-bench

standin=$build/bin/DurvinStandInService.exe
dpc_wine "$standin" install normal
dpc_wine "$standin" start
echo "stand-in service installed and running"

# Tens of milliseconds per tick under Wine (each service query costs about 10 ms): some minutes.
status=0
DPC_WINE_CALL_TIMEOUT=1800 dpc_wine "$build/bin/tick_bench.exe" "$@" || status=$?

dpc_wine "$standin" uninstall || true
exit "$status"

#!/usr/bin/env bash
# CPU time of the real controller left alone: DurvinProofControl.exe runs under Wine with the
# stand-in "Durvin Proof Server" running, for DPC_IDLE_SECONDS (default 600) of live ticks, and
# its user and system time are read from /proc/<pid>/stat before and after.
#
#   bench/run-idle-cpu.sh [--schedule]
#
# --schedule writes DurvinProofControl.ini with the scheduled restart enabled at a time that never
# comes, so the restart timer queries the service and logs every second, as a configured
# controller does. Environment: DPC_BENCH_BUILD, the Windows build folder (default build/bench-w).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${DPC_BENCH_BUILD:-$root/build/bench-w}
seconds=${DPC_IDLE_SECONDS:-600}
settle=15
schedule=0
[[ ${1:-} == --schedule ]] && schedule=1
cd "$root"

if [[ ! -f $build/build.ninja ]]; then
  cmake --preset windows -B "$build" >/dev/null
fi
cmake --build "$build" -j2 --target DurvinProofControl DurvinStandInService >/dev/null

# shellcheck source=../scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
dpc_wine_setup idle-cpu

standin=$build/bin/DurvinStandInService.exe
dpc_wine "$standin" install normal
dpc_wine "$standin" start

# The controller reads its settings and writes its log beside itself: a private folder.
folder=$WINEPREFIX/drive_c/dpc-idle
mkdir -p "$folder"
cp "$build/bin/DurvinProofControl.exe" "$folder/"
if ((schedule)); then
  printf '[Restart]\r\nServerRestartEnabled=1\r\nDay=0\r\nTime=never\r\n' \
    >"$folder/DurvinProofControl.ini"
fi

clock_ticks=$(getconf CLK_TCK)
# utime + stime (fields 14 and 15, after the parenthesised name) of one process, in clock ticks.
cpu_ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }
seconds_of() { awk -v t="$1" -v hz="$clock_ticks" 'BEGIN { printf "%.2f", t / hz }'; }
# The Linux process of a Windows program (or the server) of this prefix, by its command line;
# the bounding `timeout` around it has the same command line and is skipped.
pid_of() {
  local pid
  for pid in $(pgrep -f "$1"); do
    [[ $(cat "/proc/$pid/comm" 2>/dev/null) == timeout ]] && continue
    if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
      echo "$pid"
      return
    fi
  done
}

(cd "$folder" && DPC_WINE_CALL_TIMEOUT=$((seconds + settle + 120)) dpc_wine DurvinProofControl.exe) &
runner=$!
sleep "$settle"
controller=$(pid_of 'DurvinProofControl\.exe')
services=$(pid_of 'services\.exe')
server=$(pid_of 'wineserver')
if [[ -z $controller ]]; then
  echo "the controller is not running" >&2
  exit 2
fi

before_controller=$(cpu_ticks "$controller")
before_services=$(cpu_ticks "$services")
echo "controller pid $controller; measuring ${seconds} s of live ticks after a ${settle} s start"
sleep "$seconds"
if ! kill -0 "$controller" 2>/dev/null; then
  echo "the controller ended during the measurement" >&2
  exit 2
fi
after_controller=$(cpu_ticks "$controller")
after_services=$(cpu_ticks "$services")
rss_kb=$(awk '/^VmRSS/ { print $2 }' "/proc/$controller/status")
ps -o pid,times,rss,args -p "$controller" | cut -c1-120

log=$folder/DurvinProofControl.log
ticks=$(grep -c 'Timer1Timer = end' "$log" || true)
restart_ticks=$(grep -c '^ServerRestart = ' "$log" || true)
used=$((after_controller - before_controller))
echo "settings:              $( ((schedule)) && echo 'scheduled restart enabled (never due)' || echo 'none (defaults)')"
echo "measured:              ${seconds} s"
echo "controller CPU:        $(seconds_of "$used") s user+sys" \
  "($(awk -v u="$used" -v hz="$clock_ticks" -v s="$seconds" 'BEGIN { printf "%.3f", 100 * u / hz / s }') % of one core)"
echo "controller CPU total:  $(seconds_of "$after_controller") s since its start"
echo "services.exe CPU:      $(seconds_of $((after_services - before_services))) s in the same window"
echo "controller RSS:        ${rss_kb} KB"
echo "supervision ticks:     $ticks in the log; scheduled-restart ticks: $restart_ticks"
[[ -n $server ]] && echo "wineserver CPU total:  $(seconds_of "$(cpu_ticks "$server")") s"

# A close as Windows would send it; the harness ends the rest of the prefix on exit.
dpc_wine taskkill /im DurvinProofControl.exe >/dev/null 2>&1 || true
wait "$runner" 2>/dev/null || true

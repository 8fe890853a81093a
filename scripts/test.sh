#!/usr/bin/env bash
# Sets up the machine, then builds and runs every test:
#   native:  logic and unit tests with g++, AddressSanitizer and UndefinedBehaviorSanitizer
#   fuzz:    the settings ticket's reader and rewriter and the path rules, a few seconds each
#   windows: the cross-built DurvinProofControl.exe, the Windows-side tests and the end-to-end
#            tests, run under Wine in a fresh private prefix with the stand-in server service
# Exits non-zero when a build or a test fails. Build folders: DPC_NATIVE_DIR, DPC_WINDOWS_DIR
# (default build/native, build/windows); parallel jobs: DPC_JOBS (default 2).
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
native_dir=${DPC_NATIVE_DIR:-build/native}
windows_dir=${DPC_WINDOWS_DIR:-build/windows}
jobs=${DPC_JOBS:-2}
logs=build/logs
started=$SECONDS

bash scripts/setup.sh || exit 1
mkdir -p "$logs"

status=0
summary=()

# configure_and_build PRESET DIR
configure_and_build() {
  local preset=$1 dir=$2
  if ! cmake --preset "$preset" -B "$dir" >"$logs/$preset-configure.log" 2>&1; then
    cat "$logs/$preset-configure.log"
    return 1
  fi
  cmake --build "$dir" -j "$jobs"
}

# run_ctest NAME DIR [ctest options]
run_ctest() {
  local name=$1 dir=$2
  shift 2
  local log="$logs/$name-ctest.log"
  ctest --test-dir "$dir" --output-on-failure --no-tests=error "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  summary+=("$name: $(grep -E 'tests passed|No tests were found' "$log" | tail -1)")
  if ((rc != 0)); then
    summary+=("$(sed -n '/The following tests FAILED/,$p' "$log")")
  fi
  return "$rc"
}

echo "== native build"
if configure_and_build native "$native_dir"; then
  echo "== native tests"
  run_ctest native "$native_dir" -j "$jobs" || status=1
else
  summary+=("native: BUILD FAILED")
  status=1
fi

echo "== fuzz (short)"
if bash scripts/fuzz.sh --short >"$logs/fuzz.log" 2>&1; then
  summary+=("fuzz: no finding; $(grep -E '^[a-z_]+: [0-9]+ runs' "$logs/fuzz.log" | tr '\n' ' ')")
else
  tail -30 "$logs/fuzz.log"
  summary+=("fuzz: FAILED (see $logs/fuzz.log)")
  status=1
fi

echo "== windows build"
if configure_and_build windows "$windows_dir"; then
  echo "== windows tests (Wine)"
  # shellcheck source=wine-env.sh
  source scripts/wine-env.sh
  # Tests start their own programs on the harness display, never on the developer's.
  unset DISPLAY
  if dpc_wine_setup test; then
    # A 1 MB drive S: for the disk-full cases (a tmpfs: needs root; they skip without it).
    dpc_wine_small_drive S 1 || true
    # One service name for every test: run one at a time.
    run_ctest windows "$windows_dir" -j1 --timeout 600 || status=1
  else
    summary+=("windows: WINE PREFIX SETUP FAILED")
    status=1
  fi
else
  summary+=("windows: BUILD FAILED")
  status=1
fi

echo
echo "== summary ($((SECONDS - started)) s)"
printf '%s\n' "${summary[@]}"
exit "$status"

#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each of them:
#   scripts/fuzz.sh            10 000 000 runs per target
#   scripts/fuzz.sh RUNS       RUNS runs per target
#   scripts/fuzz.sh --short    5 seconds per target, for scripts/test.sh
# Each target starts from its seeds (fuzz/seeds/<target>) and a corpus kept between runs in
# build/fuzz/corpus/<target>. A finding stops that target, is saved as
# build/fuzz/findings/<target>/crash-* and makes the exit status non-zero. Build folder:
# DPC_FUZZ_DIR (default build/fuzz); parallel build jobs: DPC_JOBS (default 2); DPC_FUZZ_TARGETS
# runs only the targets it names.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
dir=${DPC_FUZZ_DIR:-build/fuzz}
jobs=${DPC_JOBS:-2}
# Longest input per target. A ticket line may be long; a path of more names only repeats the
# checks of its first hundred, at a cost that grows with the square of its depth.
declare -A max_len=([ticket_fuzz]=1024 [path_rules_fuzz]=256)
read -r -a targets <<<"${DPC_FUZZ_TARGETS:-ticket_fuzz path_rules_fuzz}"

limit=(-runs=10000000)
case ${1:-} in
  --short) limit=(-max_total_time=5) ;;
  '') ;;
  *[!0-9]*)
    echo "usage: scripts/fuzz.sh [RUNS | --short]" >&2
    exit 2
    ;;
  *) limit=(-runs="$1") ;;
esac

mkdir -p "$dir"
if ! cmake --preset fuzz -B "$dir" >"$dir/configure.log" 2>&1; then
  cat "$dir/configure.log"
  exit 1
fi
cmake --build "$dir" -j "$jobs" || exit 1

status=0
for target in "${targets[@]}"; do
  corpus=$dir/corpus/$target
  findings=$dir/findings/$target
  mkdir -p "$corpus" "$findings"
  started=$SECONDS
  "$dir/bin/$target" "${limit[@]}" -max_len="${max_len[$target]}" -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" "fuzz/seeds/$target" >"$dir/$target.log" 2>&1
  rc=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$dir/$target.log" | grep -o '[0-9]*$')
  echo "$target: ${runs:-?} runs in $((SECONDS - started)) s, exit $rc"
  if ((rc != 0)); then
    tail -40 "$dir/$target.log"
    status=1
  fi
done
exit "$status"

#!/usr/bin/env bash
# The folder copy engine's copy and verification under Wine with the real adapters, against
# `cp -a` of the same tree and Wine's `xcopy /E /H /K`, on two trees: 1 GiB in 10 000 files (100
# folders of 100 files, sizes from a few bytes to 200 KiB) and 1000 MiB in ten files of 100 MiB.
# The cache is warm: each tree is read once before the runs, and each run starts with the
# previous copy removed and the disk synced, outside the timing. The tools take turns, so a
# drift of the machine's speed touches all three.
#
#   bench/run-copy-bench.sh [runs]     (default 3; medians are reported)
#
# Environment: DPC_BENCH_BUILD, the Windows build folder (default build/bench-w), configured with
# the "windows" preset and built here (-j2) when needed; DPC_BENCH_DATA, the folder for the trees
# and their copies (default build/bench-copy; about 4 GiB, kept for the next run).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${DPC_BENCH_BUILD:-$root/build/bench-w}
data=${DPC_BENCH_DATA:-$root/build/bench-copy}
runs=${1:-3}
cd "$root"

if [[ ! -f $build/build.ninja ]]; then
  cmake --preset windows -B "$build" >/dev/null
fi
cmake --build "$build" -j2 --target copy_bench >/dev/null

mkdir -p "$data"
data=$(cd "$data" && pwd)
if [[ ! -f $data/tree.done ]]; then
  rm -rf "$data/tree"
  python3 - "$data/tree" <<'PY'
import os, random, sys
root, files, total = sys.argv[1], 10000, 1 << 30
rng = random.Random(20261207)
sizes = [rng.randint(1, 2 * total // files) for _ in range(files)]
scale = total / sum(sizes)
sizes = [max(1, int(s * scale)) for s in sizes]
sizes[-1] += total - sum(sizes)
block = rng.randbytes(1 << 20)
for i, size in enumerate(sizes):
    folder = os.path.join(root, "d%03d" % (i // 100))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%05d.bin" % i), "wb") as f:
        start = (i * 4099) % (len(block) - size) if size < len(block) else 0
        f.write(block[start:start + size])
PY
  touch "$data/tree.done"
fi
if [[ ! -f $data/large.done ]]; then
  rm -rf "$data/large"
  mkdir -p "$data/large"
  for i in 0 1 2 3 4 5 6 7 8 9; do
    head -c $((100 << 20)) /dev/urandom >"$data/large/big$i.bin"
  done
  touch "$data/large.done"
fi

# shellcheck source=../scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
dpc_wine_setup copy-bench >/dev/null
ln -sfn "$data" "$WINEPREFIX/dosdevices/t:"

now() { date +%s.%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
files_in() { find "$1" -type f | wc -l; }

# bench TREE FILES DESCRIPTION GOALS: the three tools in turn, then the medians and the ratios.
bench() {
  local tree=$1 expected=$2 description=$3 goals=$4 run tool start end copied line
  local -A wall=() last=()
  local internal=()
  find "$data/$tree" -type f -exec cat {} + >/dev/null  # warm the cache
  for ((run = 1; run <= runs; run++)); do
    for tool in engine cp xcopy; do
      rm -rf "$data/copy"
      sync
      start=$(now)
      case $tool in
        engine)
          line=$(DPC_WINE_CALL_TIMEOUT=1800 dpc_wine "$build/bin/copy_bench.exe" "T:\\$tree" 'T:\copy')
          internal+=("$(sed -n 's/.*copy+verify \([0-9.]*\) s.*/\1/p' <<<"$line")")
          ;;
        cp) cp -a "$data/$tree" "$data/copy" ;;
        xcopy)
          DPC_WINE_CALL_TIMEOUT=1800 dpc_wine xcopy /E /H /K /I /Q "T:\\$tree" 'T:\copy' >/dev/null
          ;;
      esac
      end=$(now)
      copied=$(files_in "$data/copy")
      if ((copied != expected)); then
        echo "$tool copied $copied files of $tree, not $expected" >&2
        exit 1
      fi
      last[$tool]=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
      wall[$tool]+="${last[$tool]} "
    done
    echo "$tree run $run: engine ${last[engine]} s, cp -a ${last[cp]} s, xcopy ${last[xcopy]} s" >&2
  done
  rm -rf "$data/copy"

  local engine cp xcopy inside
  engine=$(tr ' ' '\n' <<<"${wall[engine]}" | grep . | median)
  cp=$(tr ' ' '\n' <<<"${wall[cp]}" | grep . | median)
  xcopy=$(tr ' ' '\n' <<<"${wall[xcopy]}" | grep . | median)
  inside=$(printf '%s\n' "${internal[@]}" | median)
  echo "$description, warm cache, median of $runs runs (whole process, seconds):"
  echo "  engine copy+verify (Wine)  $engine   (inside the process: $inside)"
  echo "  cp -a                      $cp"
  echo "  xcopy /E /H /K (Wine)      $xcopy"
  awk -v e="$engine" -v c="$cp" -v x="$xcopy" -v goals="$goals" 'BEGIN {
    printf "  engine: %.2fx the speed of xcopy, %.2fx the time of cp -a\n", x / e, e / c
    if (goals == "small") {
      printf "  goal, at least 2x the speed of xcopy: %s\n", (x / e >= 2) ? "met" : "NOT met"
      printf "  stretch, within 4x the time of cp -a: %s\n", (e / c <= 4) ? "met" : "not met"
    } else {
      printf "  goal, within 1.5x the time of cp -a: %s\n", (e / c <= 1.5) ? "met" : "NOT met"
    }
  }'
}

bench tree 10000 "1 GiB, 10000 files" small
bench large 10 "1000 MiB, 10 files of 100 MiB" large

#!/usr/bin/env bash
# The folder copy engine's copy and verification of a 1 GiB tree of 10 000 files (100 folders
# of 100 files, sizes from a few bytes to 200 KiB), under Wine with the real adapters, against
# `cp -a` of the same tree and Wine's `xcopy /E /H /K`. The cache is warm: the tree is read once
# before the runs, and each run starts with the previous copy removed and the disk synced,
# outside the timing. The tools take turns, so a drift of the machine's speed touches all three.
#
#   bench/run-copy-bench.sh [runs]     (default 3; medians are reported)
#
# Environment: DPC_BENCH_BUILD, the Windows build folder (default build/bench-w), configured with
# the "windows" preset and built here (-j2) when needed; DPC_BENCH_DATA, the folder for the tree
# and its copies (default build/bench-copy; about 2 GiB, kept for the next run).
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
cat "$data"/tree/*/* >/dev/null  # warm the cache

# shellcheck source=../scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
dpc_wine_setup copy-bench >/dev/null
ln -sfn "$data" "$WINEPREFIX/dosdevices/t:"

now() { date +%s.%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
files_in() { find "$1" -type f | wc -l; }

declare -A wall last
internal=()
for ((run = 1; run <= runs; run++)); do
  for tool in engine cp xcopy; do
    rm -rf "$data/copy"
    sync
    start=$(now)
    case $tool in
      engine)
        line=$(DPC_WINE_CALL_TIMEOUT=1800 dpc_wine "$build/bin/copy_bench.exe" 'T:\tree' 'T:\copy')
        internal+=("$(sed -n 's/.*copy+verify \([0-9.]*\) s.*/\1/p' <<<"$line")")
        ;;
      cp) cp -a "$data/tree" "$data/copy" ;;
      xcopy)
        DPC_WINE_CALL_TIMEOUT=1800 dpc_wine xcopy /E /H /K /I /Q 'T:\tree' 'T:\copy' >/dev/null
        ;;
    esac
    end=$(now)
    copied=$(files_in "$data/copy")
    if ((copied != 10000)); then
      echo "$tool copied $copied files, not 10000" >&2
      exit 1
    fi
    last[$tool]=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    wall[$tool]+="${last[$tool]} "
  done
  echo "run $run: engine ${last[engine]} s, cp -a ${last[cp]} s, xcopy ${last[xcopy]} s" >&2
done
rm -rf "$data/copy"

engine=$(tr ' ' '\n' <<<"${wall[engine]}" | grep . | median)
cp=$(tr ' ' '\n' <<<"${wall[cp]}" | grep . | median)
xcopy=$(tr ' ' '\n' <<<"${wall[xcopy]}" | grep . | median)
inside=$(printf '%s\n' "${internal[@]}" | median)
echo "1 GiB, 10000 files, warm cache, median of $runs runs (whole process, seconds):"
echo "  engine copy+verify (Wine)  $engine   (inside the process: $inside)"
echo "  cp -a                      $cp"
echo "  xcopy /E /H /K (Wine)      $xcopy"
awk -v e="$engine" -v c="$cp" -v x="$xcopy" 'BEGIN {
  printf "  engine speed: %.2fx cp -a (goal 0.8x), %.2fx xcopy (goal above 1x)\n", c / e, x / e
}'

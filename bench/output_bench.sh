#!/usr/bin/env bash
# Outputs per second on the tiny-stream hostile input: chains of three
# 24-byte MPEG frames with 100 bytes of garbage between them
# (mp3_short_chains3 of bench/make_hostile.py), carved with a frame minimum
# of 3, so that every chain becomes an output of 72 bytes. The cost measured
# is that of writing many small outputs, each one to a temporary file renamed
# over its name.
#
# Usage: bash bench/output_bench.sh [ZANDREL_CLI [SIZE_MIB [OUT_DIR]]]
#
# Without ZANDREL_CLI (or with ""), builds a Release zandrel-cli in
# bench/cache/build. SIZE_MIB (default 8) is the size of the input; OUT_DIR
# (default bench/cache/output-bench; removed after the runs) is where the
# outputs go: a folder on tmpfs such as /dev/shm/output-bench measures the
# program rather than the disk. Prints the outputs, the wall time and
# outputs per second, best of three runs, each into an empty folder.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache="$root/bench/cache"
cli="${1:-}"
mib="${2:-8}"
mkdir -p "$cache"

if [ -z "$cli" ]; then
  build="$cache/build"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DZANDREL_GUI=OFF -DZANDREL_TESTS=OFF -DZANDREL_BENCH=OFF >/dev/null
  ninja -C "$build" -j 2 zandrel-cli >/dev/null
  cli="$build/zandrel-cli"
fi

input_dir="$cache/hostile-$mib"
input="$input_dir/mp3_short_chains3"
if [ ! -f "$input" ]; then
  python3 "$root/bench/make_hostile.py" "$input_dir" "$mib"
fi
cat "$input" >/dev/null

out="${3:-$cache/output-bench}"
best=""
count=0
for run in 1 2 3; do
  rm -rf "$out"
  t0=$(date +%s%N)
  "$cli" mp3 --frames 3 -o "$out/%7.7d.mp3" "$input" >/dev/null
  t1=$(date +%s%N)
  count=$(find "$out" -name '*.mp3' | wc -l)
  wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
  if [ -z "$best" ] || awk -v w="$wall" -v b="$best" 'BEGIN { exit !(w < b) }'; then best=$wall; fi
done
leftover=$(find "$out" -name '.*' -type f | wc -l)
rm -rf "$out"
awk -v n="$count" -v w="$best" -v l="$leftover" 'BEGIN {
  printf "%d outputs in %.3f s: %.0f outputs/s (temporary files left: %d)\n", n, w, n / w, l
}'

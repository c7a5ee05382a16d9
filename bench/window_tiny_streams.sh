#!/usr/bin/env bash
# Outputs per second of the window against the command line when an input
# holds 100 000 tiny streams: chains of three 24-byte MPEG frames with 100
# bytes of garbage between them (as mp3_short_chains3 of make_hostile.py),
# carved with a frame minimum of 3, so that every chain becomes an output of
# 72 bytes. The window runs offscreen (bench/window/window_scan.cpp): its
# log, progress bar and table of results are all at work as a user's are.
#
# Usage: bash bench/window_tiny_streams.sh [BUILD_DIR [CHAINS [OUT_DIR]]]
#
# BUILD_DIR holds zandrel-cli and bench/window_scan (default: a Release build in
# bench/cache/build). CHAINS (default 100000) is the number of streams;
# OUT_DIR (default bench/cache/window-tiny-out, removed after the runs) is
# where the outputs go. Prints the outputs and outputs/s of each program
# (best of two runs each) and the ratio of the window's to the command line's.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache="$root/bench/cache"
build="${1:-}"
chains="${2:-100000}"
out="${3:-$cache/window-tiny-out}"
mkdir -p "$cache"

if [ -z "$build" ]; then
  build="$cache/build"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DZANDREL_GUI=ON -DZANDREL_TESTS=OFF -DZANDREL_BENCH=ON >/dev/null
  ninja -C "$build" -j 2 zandrel-cli window_scan >/dev/null
fi

input="$cache/tiny-streams-$chains.bin"
if [ ! -f "$input" ]; then
  python3 - "$input" "$chains" <<'PY'
import sys
garbage = bytes(range(1, 101))  # no 0xFF, no "Og", no "RI"
short = bytes([0xFF, 0xF3, 0x14, 0xC4]) + bytes(20)  # MPEG-2, 8 kbit/s, 24000 Hz
with open(sys.argv[1] + ".part", "wb") as f:
    f.write((short * 3 + garbage) * int(sys.argv[2]))
PY
  mv "$input.part" "$input"
fi
cat "$input" >/dev/null

# best PROGRAM...: the best wall time of two runs, each into an empty folder;
# sets `best` (seconds) and `count` (outputs).
best_of_two() {
  best=""
  for run in 1 2; do
    rm -rf "$out"
    mkdir -p "$out"
    t0=$(date +%s%N)
    "$@" >/dev/null
    t1=$(date +%s%N)
    count=$(find "$out" -name '*.mp3' | wc -l)
    wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
    if [ -z "$best" ] || awk -v w="$wall" -v b="$best" 'BEGIN { exit !(w < b) }'; then
      best=$wall
    fi
  done
  rm -rf "$out"
}

best_of_two "$build/zandrel-cli" mp3 --frames 3 -o "$out/%7.7d.mp3" "$input"
cli_rate=$(awk -v n="$count" -v w="$best" 'BEGIN { printf "%.0f", n / w }')
echo "zandrel-cli: $count outputs in $best s: $cli_rate outputs/s"

best_of_two env QT_QPA_PLATFORM=offscreen "$build/bench/window_scan" "$input" "$out/%7.7d.mp3" 3
window_rate=$(awk -v n="$count" -v w="$best" 'BEGIN { printf "%.0f", n / w }')
echo "window:      $count outputs in $best s: $window_rate outputs/s"

awk -v w="$window_rate" -v c="$cli_rate" 'BEGIN { printf "window / command line: %.2f\n", w / c }'

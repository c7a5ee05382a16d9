#!/usr/bin/env bash
# Two builds of zandrel-cli side by side in one run: each command is run by
# the old and the new program in turn, A B A B ..., and the median wall time
# of each is printed with the ratio new / old. The rows: `all` and `all -n`
# on 1 GiB of random bytes, `all` and `all -n` on the dense archive (made by
# bench/make_dense_archive.sh), and `all -n` on every hostile input of
# bench/make_hostile.py with its MB/s.
#
# Usage: bash bench/compare_bench.sh OLD_CLI NEW_CLI [RUNS]
# (bench/scan_bench.sh makes the inputs in bench/cache/ the first time; this
# script makes any that are missing the same way.)
set -euo pipefail
old="${1:?usage: compare_bench.sh OLD_CLI NEW_CLI [RUNS]}"
new="${2:?usage: compare_bench.sh OLD_CLI NEW_CLI [RUNS]}"
runs="${3:-5}"
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache="$root/bench/cache"
random="$cache/random-1GiB.bin"
dense="$cache/dense-audio.bin"
hostile="$cache/hostile"
mkdir -p "$cache"
[ -f "$random" ] || head -c 1073741824 /dev/urandom >"$random"
[ -f "$dense" ] || bash "$root/bench/make_dense_archive.sh" "$dense"
[ -f "$hostile/.done" ] || { python3 "$root/bench/make_hostile.py" "$hostile" 64 && touch "$hostile/.done"; }
out="$cache/compare-out"

now_ns() { date +%s%N; }
# seconds CLI ARGS...: the wall time of one run, its outputs into a fresh folder.
seconds() {
  rm -rf "$out"
  local t0 t1
  t0=$(now_ns)
  "$@" -o "$out/%5.5d.x" >/dev/null 2>&1 || true
  t1=$(now_ns)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f\n", (b - a) / 1e9 }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# row NAME FILE ARGS...: the old and the new program in turn on FILE.
row() {
  local name="$1" file="$2" a=() b=()
  shift 2
  cat "$file" >/dev/null
  for _ in $(seq "$runs"); do
    a+=("$(seconds "$old" "$@" "$file")")
    b+=("$(seconds "$new" "$@" "$file")")
  done
  local ma mb bytes
  ma=$(printf '%s\n' "${a[@]}" | median)
  mb=$(printf '%s\n' "${b[@]}" | median)
  bytes=$(stat -c %s "$file")
  awk -v n="$name" -v a="$ma" -v b="$mb" -v s="$bytes" 'BEGIN {
    printf "%-28s %9.3f %9.3f %7.2f %9.0f %9.0f\n", n, a, b, b / a, s / a / 1e6, s / b / 1e6 }'
}

echo "old: $old"
echo "new: $new"
echo "median of $runs runs each, taking turns; load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf "%-28s %9s %9s %7s %9s %9s\n" "command" "old s" "new s" "new/old" "old MB/s" "new MB/s"
row "all, 1 GiB random" "$random" all
row "all -n, 1 GiB random" "$random" all -n
row "all, dense archive" "$dense" all
row "all -n, dense archive" "$dense" all -n
for f in "$hostile"/*; do
  row "all -n, $(basename "$f")" "$f" all -n
done
rm -rf "$out"

#!/usr/bin/env bash
# `all -n` on 1 GiB of random bytes in the page cache with -j 1 and with -j N
# (default: the number of cores), the runs taken in turn (1 N 1 N ...): prints
# each run, the median wall time of each and the ratio -j N / -j 1. The input
# is made in /tmp and deleted at the end.
#
# Usage: bash bench/jobs_bench.sh CLI [RUNS] [JOBS]
set -euo pipefail
cli="${1:?usage: jobs_bench.sh CLI [RUNS] [JOBS]}"
runs="${2:-5}"
jobs="${3:-$(nproc)}"
input=$(mktemp /tmp/zandrel-jobs-XXXXXX.bin)
out=$(mktemp -d /tmp/zandrel-jobs-out-XXXXXX)
trap 'rm -rf "$input" "$out"' EXIT
head -c 1073741824 /dev/urandom >"$input"
cat "$input" >/dev/null  # into the page cache

now_ns() { date +%s%N; }
# seconds JOBS: the wall time of one run.
seconds() {
  local t0 t1
  t0=$(now_ns)
  "$cli" all -n -q -j "$1" -o "$out/%5.5d.x" "$input" >/dev/null 2>&1 || true
  t1=$(now_ns)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f\n", (b - a) / 1e9 }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

one=() many=()
for ((i = 1; i <= runs; ++i)); do
  a=$(seconds 1)
  b=$(seconds "$jobs")
  one+=("$a")
  many+=("$b")
  echo "run $i: -j 1 ${a}s  -j $jobs ${b}s"
done
m1=$(printf '%s\n' "${one[@]}" | median)
mn=$(printf '%s\n' "${many[@]}" | median)
echo "median -j 1: ${m1}s"
echo "median -j $jobs: ${mn}s"
awk -v a="$m1" -v b="$mn" -v j="$jobs" 'BEGIN { printf "ratio -j %s / -j 1: %.3f\n", j, b / a }'

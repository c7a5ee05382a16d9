#!/usr/bin/env bash
# How long zandrel-cli takes to write the outputs of an archive, against
# how long `tar -x` takes to write the same files: the yardstick of the
# output path (the scan's own work included, as a user waits for both).
#
# Usage: bash bench/write_vs_tar.sh [ZANDREL_CLI [ARCHIVE [WORK_DIR [RUNS [JOBS]]]]]
#
# ZANDREL_CLI: without it (or with ""), a Release zandrel-cli is built in
# bench/cache/build. ARCHIVE (default: bench/cache/dense/archive.bin, made
# by make_dense_archive.sh with 400 streams) is carved once with `all` into
# WORK_DIR/ref, and WORK_DIR/ref.tar holds exactly those files. Then, RUNS
# times each (default 7), in turn, into empty folders of WORK_DIR:
#   zandrel-cli all -j JOBS -o WORK_DIR/O/ ARCHIVE   (JOBS default 1; "" for the default)
#   tar -xf WORK_DIR/ref.tar -C WORK_DIR/T
# WORK_DIR (default bench/cache/write-vs-tar) decides the file system both
# write to: /dev/shm/... measures the program rather than the disk. Prints
# each side's median wall time, min and max, and the median of the ratios
# of the runs taken in pairs; the outputs of the last run are compared with
# tar's, and the folders are removed at the end.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache="$root/bench/cache"
cli="${1:-}"
archive="${2:-$cache/dense/archive.bin}"
work="${3:-$cache/write-vs-tar}"
runs="${4:-7}"
jobs="${5-1}"
mkdir -p "$cache" "$work"

if [ -z "$cli" ]; then
  build="$cache/build"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DZANDREL_GUI=OFF -DZANDREL_TESTS=OFF -DZANDREL_BENCH=OFF >/dev/null
  ninja -C "$build" -j 2 zandrel-cli >/dev/null
  cli="$build/zandrel-cli"
fi
cli=$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")
if [ ! -f "$archive" ]; then
  bash "$root/bench/make_dense_archive.sh" "$archive" 400
fi

job_args=()
[ -n "$jobs" ] && job_args=(-j "$jobs")

rm -rf "$work/ref" && mkdir "$work/ref"
"$cli" all "${job_args[@]}" -o "$work/ref/" "$archive" >/dev/null
tar -cf "$work/ref.tar" -C "$work/ref" .
cat "$archive" "$work/ref.tar" >/dev/null  # both read from memory

now() { date +%s%N; }
zandrel_times=()
tar_times=()
for ((run = 0; run < runs; ++run)); do
  rm -rf "$work/O" && mkdir "$work/O"
  t0=$(now)
  "$cli" all "${job_args[@]}" -o "$work/O/" "$archive" >/dev/null
  t1=$(now)
  rm -rf "$work/T" && mkdir "$work/T"
  t2=$(now)
  tar -xf "$work/ref.tar" -C "$work/T"
  t3=$(now)
  zandrel_times+=($((t1 - t0)))
  tar_times+=($((t3 - t2)))
done

diff -r "$work/O" "$work/T" >/dev/null || echo "warning: the outputs differ from tar's files" >&2
files=$(find "$work/ref" -type f | wc -l)
bytes=$(du -sb "$work/ref" | cut -f1)
fs=$(df -T "$work" | awk 'NR == 2 { print $2 }')
rm -rf "$work/O" "$work/T" "$work/ref" "$work/ref.tar"

printf '%s\n' "${zandrel_times[@]}" >"$work/zandrel.ns"
printf '%s\n' "${tar_times[@]}" >"$work/tar.ns"
python3 - "$work/zandrel.ns" "$work/tar.ns" "$files" "$bytes" "$fs" "${jobs:-default}" <<'EOF'
import statistics, sys
z = [int(x) / 1e9 for x in open(sys.argv[1]).read().split()]
t = [int(x) / 1e9 for x in open(sys.argv[2]).read().split()]
files, size, fs, jobs = sys.argv[3], int(sys.argv[4]), sys.argv[5], sys.argv[6]
print("%s files, %.1f MB, on %s, zandrel-cli -j %s, %d runs each" % (files, size / 1e6, fs, jobs, len(z)))
for name, v in (("zandrel-cli all", z), ("tar -x", t)):
    print("%-16s median %.3f s  (min %.3f, max %.3f)" % (name, statistics.median(v), min(v), max(v)))
print("ratio zandrel/tar: median of pairs %.2f" % statistics.median(a / b for a, b in zip(z, t)))
EOF
rm -f "$work/zandrel.ns" "$work/tar.ns"

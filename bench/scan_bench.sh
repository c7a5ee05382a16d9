#!/usr/bin/env bash
# Throughput of the scan passes on 1 GiB of random bytes, against the time
# `cat` needs to read the same file from the page cache: each pass, the
# one-read pass of all three (`all`), and the three passes one after the
# other; and how many bytes `all` reads from the file. The walk of one read
# by the first 1, 3 and 8 formats of `all` (bench/lanes/lane_walk.cpp) shows
# what each further format costs.
#
# Usage: bash bench/scan_bench.sh [--extended-only | --lanes-only | --dense-only]
#
# Each pass is also timed with the extended rules (--extended) on the same
# random input, which must cost nothing measurable there, and on the hostile
# inputs built for those rules. --extended-only times just these.
#
# The dense-archive rows time an archive that is mostly audio (built once by
# bench/make_dense_archive.sh): `all`, each pass and the three passes one
# after the other, each writing its outputs into a fresh folder; `all -n`;
# `cat` of the archive; and `tar -x` of a tar of exactly the files `all`
# writes, into a fresh folder on the same filesystem. --dense-only times
# just these.
#
# Builds a Release zandrel-cli in bench/cache/build when needed, makes the
# input file once (bench/cache/ is not tracked), warms the page cache, then
# times `cat FILE > /dev/null` and each of `zandrel-cli mp3|ogg|wav` and
# `zandrel-cli crc` under /usr/bin/time -v. Prints MB/s (bytes / wall
# seconds / 1e6), the wall time, the ratio to the cat time and the peak RSS.
set -euo pipefail
extended_only=0
lanes_only=0
dense_only=0
[ "${1:-}" = "--extended-only" ] && extended_only=1
[ "${1:-}" = "--lanes-only" ] && lanes_only=1
[ "${1:-}" = "--dense-only" ] && dense_only=1

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache="$root/bench/cache"
build="$cache/build"
input="$cache/random-1GiB.bin"
size=1073741824
# ZANDREL_BENCH_CLI times another build of the program (an older one, to
# compare) instead of the one built here.
cli="${ZANDREL_BENCH_CLI:-$build/zandrel-cli}"

# --- what the script needs -------------------------------------------------
need_packages=()
[ -x /usr/bin/time ] || need_packages+=(time)
command -v cmake >/dev/null || need_packages+=(cmake)
command -v ninja >/dev/null || need_packages+=(ninja-build)
command -v c++ >/dev/null || need_packages+=(g++)
dpkg-query -W qt6-base-dev >/dev/null 2>&1 || need_packages+=(qt6-base-dev)
dpkg-query -W libbenchmark-dev >/dev/null 2>&1 || need_packages+=(libbenchmark-dev)
if [ ! -e /usr/include/zlib.h ]; then need_packages+=(zlib1g-dev); fi
if [ ${#need_packages[@]} -gt 0 ]; then
  echo "installing: ${need_packages[*]}" >&2
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need_packages[@]}" >/dev/null
fi

mkdir -p "$cache"

# --- the program --------------------------------------------------------------
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DZANDREL_GUI=ON -DZANDREL_TESTS=OFF -DZANDREL_BENCH=ON >/dev/null
targets=(zandrel-cli lane_walk)
[ "$lanes_only" = 1 ] || targets+=(window_scan)
ninja -C "$build" -j 2 "${targets[@]}" >/dev/null

# --- the input ----------------------------------------------------------------
if [ ! -f "$input" ] || [ "$(stat -c %s "$input")" -ne "$size" ]; then
  echo "making $input ..." >&2
  head -c "$size" /dev/urandom >"$input.part"
  mv "$input.part" "$input"
fi

# --- hostile inputs of the extended rules ----------------------------------------
hostile="$cache/hostile"
# pass_columns FILE "PASS..." OPTION...: one run of each pass over FILE; appends
# its MB/s to `line` and raises `peak` to the largest peak RSS (KiB).
pass_columns() {
  local f="$1" passes="$2" bytes runs=1
  shift 2
  bytes=$(stat -c %s "$f")
  for pass in $passes; do
    rm -rf "$cache/out"
    best_of "$cli" "$pass" "$@" -o "$cache/out/%6.6d.mp3" "$f"
    line+=$(awk -v w="$best_wall" -v b="$bytes" 'BEGIN { printf " %9.0f", b / w / 1e6 }')
    [ "$best_rss_kib" -gt "$peak" ] && peak=$best_rss_kib
  done
  rm -rf "$cache/out"
}
hostile_rows() {  # hostile_rows OPTION... ; one row per file named on stdin
  while read -r f; do
    local line peak=0
    line=$(printf "%-18s" "$(basename "$f")")
    pass_columns "$f" "mp3 ogg wav" "$@"
    echo "$line $(awk -v r="$peak" 'BEGIN { printf "%9.1f", r / 1024 }')"
  done
}
extended_hostile() {
  if [ ! -f "$hostile/.done-ext" ]; then
    echo "making hostile inputs in $hostile ..." >&2
    python3 "$root/bench/make_hostile.py" "$hostile" 64
    touch "$hostile/.done" "$hostile/.done-ext"
  fi
  echo
  echo "hostile inputs of the extended rules and real audio (64 MiB each, one run):"
  echo "classic rules, then --extended"
  printf "%-18s %9s %9s %9s %9s\n" "input" "mp3 MB/s" "ogg MB/s" "wav MB/s" "peak MiB"
  ls "$hostile"/ext_* "$hostile/real_audio" | hostile_rows
  echo "--extended"
  ls "$hostile"/ext_* "$hostile/real_audio" | hostile_rows --extended
}

# --- timing -------------------------------------------------------------------
now_ns() { date +%s%N; }

# Runs a command under /usr/bin/time -v with its output thrown away; sets
# `wall` (seconds, from a nanosecond clock), `rss_kib` and `status`.
measure() {
  local report="$cache/time.txt" t0 t1
  t0=$(now_ns)
  set +e
  # Standard output goes nowhere: `cat FILE > /dev/null` is the reference,
  # and a file there would time writing the input out again.
  /usr/bin/time -v -o "$report" "$@" >/dev/null 2>"$cache/stderr.txt"
  status=$?
  set -e
  t1=$(now_ns)
  wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')
  rss_kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$report")
}

# The fastest of `runs` runs of a command: sets `best_wall`, `best_rss_kib`
# and `best_status` (the shared machine makes single runs noisy). A command
# named in `before_run` runs untimed before each run.
runs=5
before_run=""
best_of() {
  best_wall=""
  best_status=0
  for _ in $(seq "$runs"); do
    [ -z "$before_run" ] || $before_run
    measure "$@"
    [ "$status" -eq 0 ] || best_status=$status
    if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN { exit !(a < b) }'; then
      best_wall=$wall
      best_rss_kib=$rss_kib
    fi
  done
}

# --- the dense archive ------------------------------------------------------------
dense="$cache/dense-audio.bin"
dense_out="$cache/dense-out"
# An empty folder for the outputs, with nothing of earlier runs left to
# write back to the disk.
fresh_out() {
  rm -rf "$dense_out"
  mkdir -p "$dense_out"
  sync
}
dense_rows() {
  [ -f "$dense" ] || bash "$root/bench/make_dense_archive.sh" "$dense"
  local bytes pattern="$dense_out/%4.4d.mp3" tar="$cache/dense-out.tar"
  bytes=$(stat -c %s "$dense")
  cat "$dense" >/dev/null
  # The tar of exactly the files `all` writes.
  fresh_out
  "$cli" all -o "$pattern" "$dense" >/dev/null
  local outputs
  outputs=$(find "$dense_out" -type f | wc -l)
  tar -cf "$tar" -C "$dense_out" .
  cat "$tar" >/dev/null

  echo
  echo "dense archive: $dense ($bytes bytes, mostly audio; $outputs outputs of all)"
  echo "best of $runs runs each; load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
  printf "%-9s %10s %10s %9s %9s %10s\n" "command" "wall s" "MB/s" "x cat" "x tar -x" "peak MiB"
  local cat_w="" tar_w=""
  dense_row() {  # dense_row NAME
    awk -v name="$1" -v wall="$best_wall" -v rss="$best_rss_kib" -v cat="${cat_w:-$best_wall}" \
      -v tar="${tar_w:-$best_wall}" -v bytes="$bytes" -v st="$best_status" \
      'BEGIN {
         note = st == 0 ? "" : sprintf("  (exit status %d)", st)
         printf "%-9s %10.3f %10.0f %9.2f %9.2f %10.1f%s\n", name, wall, bytes / wall / 1e6,
                wall / cat, wall / tar, rss / 1024, note
       }'
  }
  runs=5
  # The commands take turns, those that write each into a fresh folder, so
  # that all of them meet the machine's load and the filesystem in the same
  # state (ext4 makes new files the slower the more were just removed).
  three_dense() { for p in mp3 ogg wav; do "$1" "$p" -o "$2" "$3" || return; done; }
  export -f three_dense
  local name argv
  declare -A wall_of rss_of status_of
  # `all` runs every format of the table; "all 3" only the three whose passes
  # "3 pass" runs one after the other.
  local three=(--formats mp3,ogg,wav)
  local commands=(cat "tar -x" all "all 3" mp3 ogg wav "3 pass" "all -n" "all 3 -n")
  for _ in $(seq "$runs"); do
    for name in "${commands[@]}"; do
      case "$name" in
        cat) argv=(cat "$dense") ;;
        "tar -x") argv=(tar -xf "$tar" -C "$dense_out") ;;
        "3 pass") argv=(bash -c 'three_dense "$0" "$1" "$2"' "$cli" "$pattern" "$dense") ;;
        "all -n") argv=("$cli" all -n -o "$pattern" "$dense") ;;
        "all 3") argv=("$cli" all "${three[@]}" -o "$pattern" "$dense") ;;
        "all 3 -n") argv=("$cli" all "${three[@]}" -n -o "$pattern" "$dense") ;;
        *) argv=("$cli" "$name" -o "$pattern" "$dense") ;;
      esac
      fresh_out
      measure "${argv[@]}"
      [ "$status" -eq 0 ] || status_of[$name]=$status
      if [ -z "${wall_of[$name]:-}" ] ||
        awk -v a="$wall" -v b="${wall_of[$name]}" 'BEGIN { exit !(a < b) }'; then
        wall_of[$name]=$wall
        rss_of[$name]=$rss_kib
      fi
    done
  done
  cat_w=${wall_of[cat]} tar_w=${wall_of["tar -x"]}
  local all_w=${wall_of[all]} three_w=${wall_of["3 pass"]} alln_w=${wall_of["all -n"]}
  local all3_w=${wall_of["all 3"]} all3n_w=${wall_of["all 3 -n"]}
  for name in "${commands[@]}"; do
    best_wall=${wall_of[$name]} best_rss_kib=${rss_of[$name]} best_status=${status_of[$name]:-0}
    dense_row "$name"
  done
  ratios() {  # ratios NAME ALL ALL_N
    awk -v name="$1" -v a="$2" -v n="$3" -v t="$tar_w" -v th="$three_w" -v c="$cat_w" 'BEGIN {
      printf "%s / tar -x: %.2f (target <= 1.2); %s / 3 pass: %.2f (target <= 1.0); ", name, a / t,
             name, a / th
      printf "%s -n / cat: %.2f (target <= 1.3)\n", name, n / c
    }'
  }
  ratios all "$all_w" "$alln_w"
  ratios "all 3" "$all3_w" "$all3n_w"
  rm -rf "$dense_out" "$tar"
}
[ "$dense_only" = 1 ] && { dense_rows; exit 0; }

cat "$input" >/dev/null  # warm the page cache

best_of cat "$input"
cat_wall=$best_wall
cat_rss=$best_rss_kib

row() {  # row NAME WALL RSS_KIB STATUS
  awk -v name="$1" -v wall="$2" -v rss="$3" -v cat="$cat_wall" -v bytes="$size" -v st="$4" \
    'BEGIN {
       note = st == 0 ? "" : sprintf("  (exit status %d)", st)
       printf "%-6s %10.3f %10.0f %9.2f %10.1f%s\n", name, wall, bytes / wall / 1e6, wall / cat,
              rss / 1024, note
     }'
}

echo
echo "input: $input ($size bytes, random)"
echo "program: $cli (Release)"
echo "best of $runs runs each; load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
printf "%-6s %10s %10s %9s %10s\n" "pass" "wall s" "MB/s" "x cat" "peak MiB"
printf "%-6s %10s %10s %9s %10s\n" "------" "----------" "----------" "---------" "----------"
row cat "$cat_wall" "$cat_rss" 0

# The walk of one read by the first 1, 3 and 8 formats of `all`.
lane_rows() {
  for lanes in 1 3 8; do
    rm -rf "$cache/out"
    best_of "$build/bench/lane_walk" "$lanes" "$input" "$cache/out/%3.3d.mp3"
    row "walk $lanes" "$best_wall" "$best_rss_kib" "$best_status"
  done
  rm -rf "$cache/out"
}
if [ "$lanes_only" = 1 ]; then
  best_of "$cli" all -o "$cache/out/%3.3d.mp3" "$input"
  row all "$best_wall" "$best_rss_kib" "$best_status"
  lane_rows
  exit 0
fi

for pass in mp3 ogg wav all; do
  rm -rf "$cache/out"
  best_of "$cli" "$pass" -o "$cache/out/%3.3d.mp3" "$input"
  row "$pass" "$best_wall" "$best_rss_kib" "$best_status"
  [ "$pass" = mp3 ] && cli_mp3_wall=$best_wall
  # The same pass with the six extended rules on.
  best_of "$cli" "$pass" --extended -o "$cache/out/%3.3d.mp3" "$input"
  row "$pass+x" "$best_wall" "$best_rss_kib" "$best_status"
done
rm -rf "$cache/out"
lane_rows

# The three passes one after the other, as a user without `all` runs them.
three() { for p in mp3 ogg wav; do "$cli" "$p" -o "$cache/out/%3.3d.mp3" "$1" || return; done; }
export -f three
export cli cache
best_of bash -c 'three "$0"' "$input"
row "3 pass" "$best_wall" "$best_rss_kib" "$best_status"
rm -rf "$cache/out"
read_bytes=$(python3 "$root/bench/read_bytes.py" "$cli" all -o "$cache/out/%3.3d.mp3" "$input")
awk -v r="$read_bytes" -v s="$size" \
  'BEGIN { printf "bytes read by all: %d of a %d-byte file (%.3f x its size)\n", r, s, r / s }'
rm -rf "$cache/out"
[ "$extended_only" = 1 ] && { extended_hostile; exit 0; }

# The same MP3 run from the window (offscreen), pumping its events as it goes.
best_of "$build/bench/window_scan" "$input" "$cache/out/%3.3d.mp3"
row "window" "$best_wall" "$best_rss_kib" "$best_status"
awk -v w="$best_wall" -v c="$cli_mp3_wall" 'BEGIN { printf "window / command line (mp3): %.2f\n", w / c }'
rm -rf "$cache/out"

best_of "$cli" crc "$input"
row crc "$best_wall" "$best_rss_kib" "$best_status"
echo

# --- hostile inputs and real audio ---------------------------------------------
# Files built to make the probes expensive (bench/make_hostile.py), and the
# committed fixtures with random bytes between them; 64 MiB each, default
# options (frame minimum 4). One run each.
hostile="$cache/hostile"
# Inputs added to make_hostile.py since the files were made: make them again.
[ -f "$hostile/ext_ogg_long_pages" ] || rm -f "$hostile/.done" "$hostile/.done-ext"
[ -f "$hostile/adx_grid_phases" ] && [ -f "$hostile/hca_frame_walks" ] && [ -f "$hostile/bnk_big_index" ] && [ -f "$hostile/xwb_entry_walks" ] || rm -f "$hostile/.done"
if [ ! -f "$hostile/.done" ]; then
  echo "making hostile inputs in $hostile ..." >&2
  python3 "$root/bench/make_hostile.py" "$hostile" 64
  touch "$hostile/.done"
fi
runs=1
echo "hostile inputs and real audio (64 MiB each; MB/s per pass, peak MiB of the slowest):"
printf "%-18s %9s %9s %9s %9s %9s %9s\n" "input" "cat MB/s" "mp3 MB/s" "ogg MB/s" "wav MB/s" \
  "all MB/s" "peak MiB"
for f in "$hostile"/*; do
  name=$(basename "$f")
  bytes=$(stat -c %s "$f")
  cat "$f" >/dev/null
  best_of cat "$f"
  line=$(awk -v n="$name" -v w="$best_wall" -v b="$bytes" 'BEGIN { printf "%-18s %9.0f", n, b / w / 1e6 }')
  peak=0
  pass_columns "$f" "mp3 ogg wav all"
  echo "$line $(awk -v r="$peak" 'BEGIN { printf "%9.1f", r / 1024 }')"
done

extended_hostile
dense_rows

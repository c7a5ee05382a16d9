#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while.
#   fuzz/run_fuzzers.sh [--seconds N] [target...]
# Seeds come from the committed audio fixtures and a few hand-made inputs
# (fuzz/seeds: tag INI files, and passes_*.bin for fuzz_passes);
# the working corpora are kept in fuzz/corpus-work (not committed).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds=60
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_mpeg fuzz_ogg fuzz_passes fuzz_naming fuzz_tag_ini fuzz_comma_text)

build="$root/build-fuzz"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZANDREL_FUZZ=ON -DZANDREL_GUI=OFF -DZANDREL_TESTS=OFF -DZANDREL_BENCH=OFF >/dev/null
cmake --build "$build" -j 2 --target "${targets[@]}" >/dev/null

work="$root/fuzz/corpus-work"
seed() {  # target -> seed folder
  local t="$1" dir="$work/$1"
  mkdir -p "$dir"
  case "$t" in
    fuzz_mpeg|fuzz_ogg|fuzz_passes)
      for f in "$root"/tests/data/*.{mp3,ogg,wav,mp2,aac,flac,aiff,adx,bnk,brstm,bcstm,bfstm,mid,rmi,fsb,awb,hca,pck,xwb}; do
        [ -f "$f" ] || continue
        # Small seeds: a prefix byte or two, then the head of the fixture.
        # fuzz_passes takes a third byte: the extended rules, all on.
        { printf '\x0f\x05'; [ "$t" != fuzz_passes ] || printf '\x0f'; head -c 6000 "$f"; } \
          > "$dir/seed-$(basename "$f")"
      done
      # Headers that claim more than the input holds, in front of a whole bank.
      [ "$t" != fuzz_passes ] || cp "$root"/fuzz/seeds/passes_*.bin "$dir/" ;;
    fuzz_naming) printf 'out/%%3.3d_%%f.%%e\n/a/b/track.bin' > "$dir/seed1"; printf '%%5.3d%%%%%%x' > "$dir/seed2" ;;
    fuzz_tag_ini) cp "$root"/fuzz/seeds/*.ini "$dir/" 2>/dev/null || true ;;
    fuzz_comma_text) printf '"a b",c,,d, ' > "$dir/seed1"; printf '"x""y",z' > "$dir/seed2" ;;
  esac
  echo "$dir"
}

status=0
for t in "${targets[@]}"; do
  dir="$(seed "$t")"
  echo "--- $t: ${seconds}s"
  if ! (cd "$work" && ASAN_OPTIONS=detect_leaks=1 "$build/fuzz/$t" "$dir" -max_total_time="$seconds" \
        -max_len=65536 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 2>"$work/$t.log"); then
    echo "$t FAILED (log: $work/$t.log)"
    tail -n 40 "$work/$t.log"
    status=1
  else
    grep -a -E '^(stat::number_of_executed_units|Done)' "$work/$t.log" | tr '\n' ' '; echo
  fi
done
exit $status

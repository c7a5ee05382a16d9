#!/usr/bin/env bash
# Builds and runs every test twice: a normal build, then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer. The normal build is also
# installed into a temporary folder, its layout and desktop files checked,
# and packaged with cpack. Then checks the formatting and gives every fuzz
# target a short run.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/deps.sh" || exit 1
export QT_QPA_PLATFORM=offscreen
status=0

run_suite() {  # name, build dir, extra cmake flags...
  local name="$1" dir="$2"
  shift 2
  echo "=== $name build ==="
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null || return 1
  cmake --build "$dir" -j 2 || return 1
  echo "=== $name tests ==="
  ctest --test-dir "$dir" -j 2 --output-on-failure --timeout 900
}

run_suite "optimised (-O2)" "$root/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZANDREL_BENCH=ON || status=1
echo "=== install and package ==="
bash "$root/scripts/check_install.sh" "$root/build-test" || status=1
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite "sanitizers" "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DZANDREL_SANITIZE=ON \
  -DZANDREL_BENCH=OFF || status=1

echo "=== formatting ==="
cmake --build "$root/build-test" --target format-check || status=1

if [ -f "$root/fuzz/run_fuzzers.sh" ]; then
  echo "=== fuzzing (short runs) ==="
  bash "$root/fuzz/run_fuzzers.sh" --seconds 7 || status=1
fi

if [ $status -eq 0 ]; then echo "ALL TEST SUITES PASSED"; else echo "SOME TEST SUITE FAILED"; fi
exit $status

#!/usr/bin/env bash
# Checks the shape of the product code: no file over 450 lines, no function
# of a cyclomatic complexity of 15 or more (as pmccabe counts it). Prints
# what breaks a rule and fails; prints the largest of each when all hold.
#
# pmccabe loses its place at words it does not know (override, final,
# noexcept, attributes), and then leaves every later function of the file
# unmeasured; its default reading of the preprocessor skips the #else side.
# So it measures copies without those words, with its older reading, which
# takes both sides, and every function universal-ctags finds in the files
# must be among those it measured.
#
#   check_shape.sh              checks the product code
#   check_shape.sh --self-test  checks that functions written in each of the
#                               ways that once hid them are measured
set -euo pipefail
cd "$(dirname "$0")/.."
max_lines=450
max_complexity=14
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The words pmccabe does not know, each on one line, so that the copy keeps
# the line numbers.
unknown_words='s/\b(override|final|noexcept)\b//g
s/__attribute__\(\(([^()]|\([^()]*\))*\)\)//g'

# measure DIR FILE...: one line a function of the files (relative to DIR),
# "complexity<TAB>file(line): name"; fails when pmccabe lost its place or
# left a function out.
measure() {
  local dir="$1" copy="$work/copy"
  shift
  rm -rf "$copy"
  for f in "$@"; do
    mkdir -p "$copy/$(dirname "$f")"
    sed -E "$unknown_words" "$dir/$f" >"$copy/$f"
  done
  (cd "$copy" && pmccabe -x "$@" 2>"$work/lost" | cut -f 1,6 | sort -nr) >"$work/measured"
  if [ -s "$work/lost" ]; then
    echo "pmccabe lost its place:" >&2
    sed 's/^/  /' "$work/lost" >&2
    return 1
  fi
  sed -E 's/^[0-9]+\t(.*)\(([0-9]+)\):.*/\1 \2/' "$work/measured" | sort -u >"$work/seen"
  (cd "$copy" && ctags -x --language-force=C++ --kinds-C++=f --_xformat='%{input} %{line} %{name}' "$@") |
    awk '$3 !~ /^__anon/ { print $1 " " $2 }' | sort -u >"$work/defined"
  local unseen
  unseen="$(comm -13 "$work/seen" "$work/defined")"
  if [ -n "$unseen" ]; then
    echo "functions pmccabe did not measure:" >&2
    sed 's/^/  /' <<<"$unseen" >&2
    return 1
  fi
  cat "$work/measured"
}

# check DIR FILE...: prints what breaks a rule and fails.
check() {
  local dir="$1" status=0 long complex
  shift
  long=$(cd "$dir" && wc -l "$@" | awk -v m="$max_lines" '$2 != "total" && $1 > m { print "  " $2 ": " $1 " lines" }')
  if [ -n "$long" ]; then
    echo "files over $max_lines lines:"
    echo "$long"
    status=1
  fi
  measure "$dir" "$@" >"$work/functions" || return 1
  complex=$(awk -F '\t' -v m="$max_complexity" '$1 > m { print "  " $2 ": " $1 }' "$work/functions")
  if [ -n "$complex" ]; then
    echo "functions of complexity over $max_complexity:"
    echo "$complex"
    status=1
  fi
  return $status
}

# A function of the complexity given: 1 + one `if` a point.
body() {
  local i
  echo "{"
  echo "  int n = 0;"
  for ((i = 1; i < $1; i++)); do echo "  if (x == $i) ++n;"; done
  echo "  return n;"
  echo "}"
}

# Each way of writing a function that pmccabe once did not measure: the
# function `Planted` (complexity 15, one over the limit, then exactly at it),
# after some code written the same way.
planted() {  # planted WAY COMPLEXITY
  local b
  b="$(body "$2")"
  case "$1" in
    override)
      printf 'struct A : B {\n  void f() override {}\n  int Planted(int x) override %s\n};\n' "$b" ;;
    final)
      printf 'struct A final : B {\n  void f() final {}\n  int Planted(int x) final %s\n};\n' "$b" ;;
    noexcept)
      printf 'void A::f(int x) noexcept {\n  if (x) {\n    g();\n  }\n}\nint Planted(int x) noexcept %s\n' "$b" ;;
    attribute)
      printf '__attribute__((target("avx2"))) void F() {}\n'
      printf '__attribute__((target("avx2"))) int Planted(int x) %s\n' "$b" ;;
    else-side)
      printf '#if defined(X)\nint Planted(int x) { return x; }\n#else\nint Planted(int x) %s\n#endif\n' "$b" ;;
  esac
}

self_test() {
  local dir="$work/planted" way failures=0
  for way in override final noexcept attribute else-side; do
    rm -rf "$dir"
    mkdir -p "$dir"
    planted "$way" 15 >"$dir/over.h"
    if check "$dir" over.h >"$work/said" 2>&1 || ! grep -q 'Planted: 15$' "$work/said"; then
      echo "self-test: a function of complexity 15 written with $way was not caught:"
      sed 's/^/  /' "$work/said"
      failures=$((failures + 1))
    fi
    planted "$way" 14 >"$dir/at.h"
    if ! check "$dir" at.h >"$work/said" 2>&1; then
      echo "self-test: a function of complexity 14 written with $way was refused:"
      sed 's/^/  /' "$work/said"
      failures=$((failures + 1))
    fi
  done
  [ $failures -eq 0 ] && echo "self-test: every way of writing a function is measured"
  [ $failures -eq 0 ]
}

[ "${1:-}" = "--self-test" ] && {
  self_test
  exit
}

mapfile -t files < <(git ls-files 'platform/*.cpp' 'platform/*.h' 'output/*.cpp' 'output/*.h' \
  'carve/*.cpp' 'carve/*.h' 'export/*.cpp' 'export/*.h' 'cli/*.cpp' 'cli/*.h' 'app/*.cpp' 'app/*.h' 'i18n/*.cpp' 'i18n/*.h')
if check . "${files[@]}"; then
  echo "largest file: $(wc -l "${files[@]}" | grep -v ' total$' | sort -nr | head -n 1 | awk '{ print $2 ", " $1 " lines" }')"
  echo "most complex of $(wc -l <"$work/functions") functions: $(head -n 1 "$work/functions" | awk -F '\t' '{ print $2 ", " $1 }')"
else
  exit 1
fi

#!/usr/bin/env bash
# Checks the shape of the product code: no file over 450 lines, no function
# of a cyclomatic complexity of 15 or more (as pmccabe counts it). Prints
# what breaks a rule and fails; prints the largest of each when all hold.
set -euo pipefail
cd "$(dirname "$0")/.."
max_lines=450
max_complexity=14
mapfile -t files < <(git ls-files 'platform/*.cpp' 'platform/*.h' 'output/*.cpp' 'output/*.h' \
  'carve/*.cpp' 'carve/*.h' 'cli/*.cpp' 'cli/*.h' 'app/*.cpp' 'app/*.h' 'i18n/*.cpp' 'i18n/*.h')
status=0
long=$(wc -l "${files[@]}" | awk -v m="$max_lines" '$2 != "total" && $1 > m { print "  " $2 ": " $1 " lines" }')
if [ -n "$long" ]; then
  echo "files over $max_lines lines:"
  echo "$long"
  status=1
fi
complex=$(pmccabe "${files[@]}" 2>/dev/null | sort -nr |
  awk -v m="$max_complexity" '$1 > m { print "  " $6 " " $7 ": " $1 }')
if [ -n "$complex" ]; then
  echo "functions of complexity over $max_complexity:"
  echo "$complex"
  status=1
fi
if [ $status -eq 0 ]; then
  echo "largest file: $(wc -l "${files[@]}" | grep -v ' total$' | sort -nr | head -n 1 | awk '{ print $2 ", " $1 " lines" }')"
  echo "most complex function: $(pmccabe "${files[@]}" 2>/dev/null | sort -nr | head -n 1 | awk '{ print $6 " " $7 ", " $1 }')"
fi
exit $status

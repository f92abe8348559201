#!/usr/bin/env bash
# The README's example of label sheets is examples/cpp/labels.cpp word for word,
# and the program prints its ten addresses from label 15 of an L7160 sheet: seven
# on the first page, in reading order, three on the second.
#   labels_example_test.sh PROGRAM SOURCE_DIR WORK_DIR
set -euo pipefail
program=$1 source=$2 work=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
# shellcheck source=../support/readme_example.sh
source "$source/tests/support/readme_example.sh"

readme_shows_example "$source" examples/cpp/labels.cpp

mkdir -p "$work"
pdf=$work/labels.pdf
rm -f "$pdf"
output=$("$program" "pdf:$pdf")
[ "$output" = "10 labels on 2 pages: $pdf" ] || fail "unexpected output: $output"
qpdf --check "$pdf" >/dev/null || fail "qpdf rejects $pdf"
pdfinfo "$pdf" | grep -q '^Pages: *2$' || fail "$pdf does not have 2 pages"

# The left and top of a word's box on a page, in millimetres.
where() {
  pdftotext -q -bbox -f "$2" -l "$2" "$pdf" - |
    awk -v word="$1" '!found && $0 ~ ">" word "<" { found = 1
      match($0, /xMin="[0-9.]+"/); x = substr($0, RSTART + 6, RLENGTH - 7)
      match($0, /yMin="[0-9.]+"/); y = substr($0, RSTART + 6, RLENGTH - 7)
      printf "%.2f %.2f\n", x * 25.4 / 72, y * 25.4 / 72 }'
}
# Label n of L7160 (3 across, 66.04 mm apart from 7.21 mm; 38.1 mm down from
# 15.15 mm) holds its name from 5 mm right of its left edge (the text itself
# starts within a millimetre of the cell's edge) and 6 to 9 mm below its top.
check() {  # WORD PAGE LABEL
  local at
  at=$(where "$1" "$2")
  [ -n "$at" ] || fail "$1 is not on page $2"
  awk -v at="$at" -v n="$3" 'BEGIN {
    split(at, p, " "); column = (n - 1) % 3; row = int((n - 1) / 3)
    x = 7.21 + column * 66.04 + 5; y = 15.15 + row * 38.1 + 6
    exit !(p[1] >= x && p[1] <= x + 1 && p[2] >= y && p[2] <= y + 3) }' ||
    fail "$1 starts at ($at) mm on page $2, not on label $3"
}
check Ada 1 15
check Grace 1 16
check Edsger 1 17
check Hedy 1 21
check Claude 2 1
check Barbara 2 2
check Donald 2 3
[ "$(pdftotext -q -f 2 -l 2 "$pdf" - | grep -c '^Murray Hill NJ\|^Cambridge MA\|^Stanford CA')" = 3 ] ||
  fail "the second page does not hold the last three cities"
first=$(pdftotext -q -f 1 -l 1 "$pdf" -)
! grep -q 'Claude\|Barbara\|Donald' <<<"$first" || fail "the first page holds a later label"

# A target that cannot be written: an error, a failing exit, and no file.
if "$program" "pdf:$work/missing/folder/labels.pdf" 2>"$work/error.txt"; then
  fail "printing into a missing folder succeeded"
fi
grep -q "^labels: " "$work/error.txt" || fail "no message: $(cat "$work/error.txt")"
echo "ok"

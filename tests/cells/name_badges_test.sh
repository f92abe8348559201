#!/usr/bin/env bash
# The README's example of a document of several pages is examples/cpp/name_badges.cpp
# word for word, and the program prints one page a person into one PDF.
#   name_badges_test.sh PROGRAM SOURCE_DIR WORK_DIR
set -euo pipefail
program=$1 source=$2 work=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
# shellcheck source=../support/readme_example.sh
source "$source/tests/support/readme_example.sh"

readme_shows_example "$source" examples/cpp/name_badges.cpp

mkdir -p "$work"
pdf=$work/badges.pdf
rm -f "$pdf"
output=$("$program" "pdf:$pdf")
[ "$output" = "3 pages
written: $pdf" ] || fail "unexpected output: $output"
qpdf --check "$pdf" >/dev/null || fail "qpdf rejects $pdf"
pdfinfo "$pdf" | grep -q '^Pages: *3$' || fail "$pdf does not have 3 pages"
for page in 1 2 3; do
  text=$(pdftotext -q -f $page -l $page "$pdf" -)
  grep -q "$page of 3" <<<"$text" || fail "page $page lacks its number: $text"
done
pdftotext -q -f 2 -l 2 "$pdf" - | grep -q "Grace Hopper" || fail "page 2 is not Grace Hopper's"

# A target that cannot be written: an error, a failing exit, and no file.
if "$program" "pdf:$work/missing/folder/badges.pdf" 2>"$work/error.txt"; then
  fail "printing into a missing folder succeeded"
fi
grep -q "^name_badges: " "$work/error.txt" || fail "no message: $(cat "$work/error.txt")"
[ ! -e "$work/missing" ] || fail "a folder was made"
echo "ok"

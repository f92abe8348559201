#!/usr/bin/env bash
# The README's barcode example is examples/cpp/asset_tag.cpp word for word, and
# both of its codes scan with zbarimg, a decoder nobody here wrote.
#   Barcode_example_test.sh PROGRAM SOURCE_DIR WORK_DIR
set -euo pipefail
program=$1 source=$2 work=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
# shellcheck source=../support/readme_example.sh
source "$source/tests/support/readme_example.sh"

readme_shows_example "$source" examples/cpp/asset_tag.cpp

mkdir -p "$work"
for target in png pdf; do
  file=$work/asset-tag.$target
  rm -f "$file"
  "$program" "$target:$file" || fail "the program failed on $target"
  png=$file
  if [ $target = pdf ]; then
    pdftoppm -r 300 -singlefile -png "$file" "$work/asset-tag-pdf"
    png=$work/asset-tag-pdf.png
  fi
  codes=$(zbarimg -q "$png" | sort)
  [ "$codes" = "CODE-128:ASSET-004217
QR-Code:https://example.com/assets/4217" ] || fail "$target: zbarimg read: $codes"
done
pdftotext -q "$work/asset-tag.pdf" - | grep -q "ASSET-004217" || fail "no text under the bars"
echo "ok"

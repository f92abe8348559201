#!/usr/bin/env bash
# Every example prints through the command; its PDF passes qpdf --check and its
# texts read back with pdftotext. The label merge gives one page per address.
# Environment: MIVORA (the program), MIVORA_SOURCE_DIR.
set -uo pipefail

. "$(dirname "$0")/test_lib.sh"
enter_work_folder

# check_pdf FILE TEXT...: a sound PDF whose text holds each TEXT.
check_pdf() {
  local file=$1
  shift
  qpdf --check "$file" >qpdf.txt 2>&1 || fail "$file: qpdf --check: $(tail -3 qpdf.txt)"
  pdftotext -layout "$file" text.txt || fail "$file: pdftotext failed"
  local text
  for text in "$@"; do
    grep -qF -- "$text" text.txt || fail "$file: \"$text\" not found in its text"
  done
}

"$MIVORA" print "$examples/invoice/invoice.json" -o invoice.pdf || fail "the invoice did not print"
check_pdf invoice.pdf "INVOICE" "Northwind Stationers" "Toner cartridge, black" "GBP 293.76" "Payment terms" "14 days"
pdfinfo invoice.pdf | grep -q "Title: *Invoice 2024-0815" || fail "the invoice's PDF title is not the job title"

"$MIVORA" print "$examples/certificate/certificate.json" -o certificate.pdf || fail "the certificate did not print"
check_pdf certificate.pdf "Certificate of Achievement" "Margaret Hamilton" "outstanding work" "Dr. Ada Byron, Director"
# The side text reads upward: pdftotext gives it rotated, not as a line of the page.
pdftotext -raw certificate.pdf - | tr '\n' ' ' | grep -q "MIVORA ACADEMY OF PRINT" ||
  fail "the certificate's vertical text is missing"
[ "$(pdfinfo certificate.pdf | awk '/^Page size:/ {print ($3 > $5) ? "landscape" : "portrait"}')" = landscape ] ||
  fail "the certificate is not landscape"

"$MIVORA" print "$examples/labels/labels.json" -o labels.pdf || fail "the label sheet did not print"
check_pdf labels.pdf "Ada Lovelace" "Bunsenstraße 3"

"$MIVORA" print "$examples/labels/labels.json" --data "$examples/labels/addresses.csv" -o merged.pdf -q ||
  fail "the label merge did not print"
[ "$(pages merged.pdf)" = 200 ] || fail "the label merge gave $(pages merged.pdf) pages, not 200"
check_pdf merged.pdf "Karla Engel"
pdftotext -f 200 -l 200 merged.pdf last.txt
[ "$(grep -c "Xaver Richter" last.txt)" = 30 ] || fail "page 200 does not hold the last address on all 30 labels"

# A short merge into numbered PNG files and one PostScript file.
csv_head "$examples/labels/addresses.csv" 4 >three.csv
cp "$examples/labels/labels.json" .
"$MIVORA" print labels.json --data three.csv -o sheet.png -q || fail "the PNG merge did not print"
for n in 001 002 003; do
  [ -s "sheet-$n.png" ] || fail "sheet-$n.png missing"
done
[ -e sheet.png ] && fail "an unnumbered sheet.png was written by a merge"
compgen -G ".sheet*" >/dev/null && fail "the merge left its temporary folder"
"$MIVORA" print labels.json --data three.csv -o sheet.ps -q || fail "the PostScript merge did not print"
[ "$(grep -c '^%%Page:' sheet.ps)" = 3 ] || fail "sheet.ps does not hold 3 pages"
"$MIVORA" print labels.json -o sheet.svg || fail "the SVG did not print"
grep -q "<svg" sheet.svg || fail "sheet.svg is not an SVG document"

# The examples follow the published JSON Schema (when a validator is at hand).
if python3 -c "import jsonschema" 2>/dev/null; then
  python3 - "$MIVORA_SOURCE_DIR/docs/layout.schema.json" "$examples/labels/labels.json" "$examples/invoice/invoice.json" "$examples/certificate/certificate.json" <<'EOF' || fail "an example breaks the schema"
import json, sys, jsonschema
validator = jsonschema.Draft202012Validator(json.load(open(sys.argv[1])))
bad = 0
for name in sys.argv[2:]:
    for error in validator.iter_errors(json.load(open(name))):
        print(f"{name}: {error.json_path}: {error.message[:200]}", file=sys.stderr)
        bad += 1
# The schema refuses what the command refuses.
for wrong in ({"commands": [{"op": "AddTxt"}]}, {"commands": [{"op": "Reset", "cell": "A"}]}, {"title": "x"}):
    if validator.is_valid(wrong):
        print(f"the schema accepts {wrong}", file=sys.stderr)
        bad += 1
sys.exit(1 if bad else 0)
EOF
fi

finish "every example printed"

#!/usr/bin/env bash
# Every example prints through the command; its PDF passes qpdf --check and its
# texts read back with pdftotext. Label and badge merges put one record on each
# label; the form letter prints one page per record.
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

# postal_codes FILE: how many "12345 Town" lines (one per address) FILE holds.
postal_codes() { grep -o '[0-9]\{5\} [[:upper:]]' "$1" | wc -l; }

# Address labels: 200 addresses on sheets of 21 labels give 10 sheets, the last with 11.
"$MIVORA" print "$examples/labels/labels.json" --data "$examples/labels/addresses.csv" -o merged.pdf -q ||
  fail "the label merge did not print"
[ "$(pages merged.pdf)" = 10 ] || fail "the label merge gave $(pages merged.pdf) pages, not 10"
check_pdf merged.pdf "Karla Engel" "Main Street 10" "28195 Bremen"
[ "$(postal_codes text.txt)" = 200 ] || fail "the label merge shows $(postal_codes text.txt) addresses, not 200"
pdftotext -layout -f 10 -l 10 merged.pdf last.txt
[ "$(postal_codes last.txt)" = 11 ] || fail "sheet 10 holds $(postal_codes last.txt) addresses, not 11"
grep -qF "Xaver Richter" last.txt || fail "the last address is not on the last sheet"

# Badges: 50 attendees, 8 to a sheet: 7 sheets, each name once, the 7th with two
# badges and nothing at all where the other six would be.
"$MIVORA" print "$examples/badges/badges.json" --data "$examples/badges/attendees.csv" -o badges.pdf -q ||
  fail "the badges did not print"
[ "$(pages badges.pdf)" = 7 ] || fail "the badges gave $(pages badges.pdf) pages, not 7"
check_pdf badges.pdf "PRINT & FORMS SUMMIT 2026"
pdftotext badges.pdf badges.txt
tail -n +2 "$examples/badges/attendees.csv" | cut -d, -f1 | while read -r name; do
  [ "$(grep -cxF "$name" badges.txt)" = 1 ] || fail "\"$name\" is not printed exactly once"
done
pdftotext -f 7 -l 7 badges.pdf seventh.txt
[ "$(grep -c "PRINT & FORMS SUMMIT" seventh.txt)" = 2 ] || fail "sheet 7 does not hold exactly 2 badges"
pdftoppm -f 7 -l 7 -r 20 -gray badges.pdf seventh
python3 - seventh*.pgm <<'PY' || fail "sheet 7 has ink where no badge is"
import sys
data = open(sys.argv[1], "rb").read()
# Binary PGM: "P5", width, height, maxval, then one byte a pixel.
fields, pos = [], 0
while len(fields) < 4:
    while data[pos:pos + 1].isspace(): pos += 1
    start = pos
    while not data[pos:pos + 1].isspace(): pos += 1
    fields.append(data[start:pos])
width, height = int(fields[1]), int(fields[2])
pixels = data[pos + 1:]
# The first row of badges ends 18 + 54 mm from the top; below it all is paper.
first_row_end = int(height * (18 + 54 + 2) / 297)
dark = sum(1 for y in range(first_row_end, height) for x in range(width) if pixels[y * width + x] < 250)
sys.exit(0 if dark == 0 else 1)
PY

# A badge without a company shows no company band (its cell is optional): the
# third badge (Radia Johnson, no company) is white where the first has its band.
pdftoppm -f 1 -l 1 -r 100 -gray badges.pdf first
python3 - first*.pgm <<'PY' || fail "the empty company of the third badge still prints its band"
import sys
data = open(sys.argv[1], "rb").read()
fields, pos = [], 0
while len(fields) < 4:
    while data[pos:pos + 1].isspace(): pos += 1
    start = pos
    while not data[pos:pos + 1].isspace(): pos += 1
    fields.append(data[start:pos])
width = int(fields[1])
pixels = data[pos + 1:]
def at(x_mm, y_mm):
    return pixels[round(y_mm / 25.4 * 100) * width + round(x_mm / 25.4 * 100)]
# 6 mm into the company cell (its left edge 4 mm into the badge), its middle
# 33.5 mm below the badge's top; badges at 10 mm, rows at 18 and 87 mm.
sys.exit(0 if at(16, 18 + 33.5) < 250 and at(16, 87 + 33.5) >= 250 else 1)
PY

# The form letter: one page per record, fields inside its RTF body, values
# escaped for RTF (a brace in the data prints as a brace).
"$MIVORA" print "$examples/letter/letter.json" --data "$examples/letter/recipients.csv" -o letter.pdf -q ||
  fail "the letter did not print"
[ "$(pages letter.pdf)" = 5 ] || fail "the letter gave $(pages letter.pdf) pages, not 5"
check_pdf letter.pdf "Dear Ada Lovelace," "Dear Hedy Lamarr," "Unit 4, {Studio} Lane" "Page 5 of 5"
pdftotext -f 2 -l 2 letter.pdf second.txt
grep -qF "course Print Automation with 16 hours" second.txt || fail "the letter to Grace Hopper lacks her course"
grep -qF "MV-2" second.txt || fail "the second letter does not carry its record number"

# The shipping labels: one 4 x 6 in page per order, the tracking number as a
# Code 128 and the tracking link as a QR code, both read back by zbarimg.
"$MIVORA" print "$examples/shipping/shipping.json" --data "$examples/shipping/orders.csv" -o shipping.pdf -q ||
  fail "the shipping labels did not print"
[ "$(pages shipping.pdf)" = 20 ] || fail "the shipping merge gave $(pages shipping.pdf) pages, not 20"
check_pdf shipping.pdf "SHIP TO" "Grace Hopper" "1ZMV0004034300" "Washington, DC 20374"
pdfinfo shipping.pdf | grep -q "^Page size: *288 x 432 pts" || fail "the shipping label is not 4 x 6 in"
pdftoppm -r 300 -f 2 -l 2 -singlefile -png shipping.pdf shipping-2
[ "$(zbarimg -q shipping-2.png 2>/dev/null | sort | tr '\n' ' ')" = \
  "CODE-128:1ZMV0004034300 QR-Code:https://track.example.com/1ZMV0004034300 " ] ||
  fail "page 2's codes do not scan as Grace Hopper's tracking number and link"
# Data no symbol can hold: the file and line, exit code 2, nothing written.
{ head -3 "$examples/shipping/orders.csv"; printf '1ZMV1,Long Link,1 Street,City,https://x/%s\n' "$(printf 'a%.0s' $(seq 3000))"; } >bad-orders.csv
"$MIVORA" print "$examples/shipping/shipping.json" --data bad-orders.csv -o bad.pdf -q 2>bad.txt
[ $? = 2 ] || fail "a link too long for a QR code did not exit with 2"
grep -q "bad-orders.csv:4: url: Cannot make QR Code barcode" bad.txt || fail "unexpected message: $(cat bad.txt)"
[ -e bad.pdf ] && fail "bad.pdf was written although the data was refused"

# A quick preview: one record, at 72 dpi, to one PNG file of its own name.
"$MIVORA" print "$examples/letter/letter.json" --data "$examples/letter/recipients.csv" --records 3 --dpi 72 \
  -o preview.png -q || fail "the preview did not print"
[ "$(file -b preview.png | grep -o '[0-9]* x [0-9]*')" = "595 x 842" ] || fail "preview.png is not A4 at 72 dpi"

# Short merges into numbered PNG files and one PostScript file.
csv_head "$examples/labels/addresses.csv" 4 >three.csv
cp "$examples/labels/labels.json" .
"$MIVORA" print labels.json --data three.csv --first 20 -o sheet.png -q || fail "the PNG merge did not print"
for n in 001 002; do
  [ -s "sheet-$n.png" ] || fail "sheet-$n.png missing"
done
[ -e sheet.png ] && fail "an unnumbered sheet.png was written by a merge of two pages"
compgen -G ".sheet*" >/dev/null && fail "the merge left its temporary folder"
"$MIVORA" print labels.json --data three.csv --record-copies 10 -o sheet.ps -q || fail "the PostScript merge did not print"
[ "$(grep -c '^%%Page:' sheet.ps)" = 2 ] || fail "sheet.ps does not hold 2 pages (30 labels, 21 a sheet)"
"$MIVORA" print labels.json --data three.csv -o sheet.svg || fail "the SVG did not print"
grep -q "<svg" sheet.svg || fail "sheet.svg is not an SVG document"

# The examples follow the published JSON Schema (when a validator is at hand).
if python3 -c "import jsonschema" 2>/dev/null; then
  python3 - "$MIVORA_SOURCE_DIR/docs/layout.schema.json" "$examples/labels/labels.json" "$examples/invoice/invoice.json" "$examples/certificate/certificate.json" "$examples/badges/badges.json" "$examples/letter/letter.json" <<'EOF' || fail "an example breaks the schema"
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

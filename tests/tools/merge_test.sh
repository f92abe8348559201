#!/usr/bin/env bash
# Merges of many records to a page, as a user runs them: label grids, record
# lists, a partly used first sheet, data encodings and separators, splitting a
# run in parts; and bad input, which ends with exit code 2, a message naming
# the value and where it is, and nothing written.
# Environment: MIVORA (the program), MIVORA_SOURCE_DIR.
set -uo pipefail

. "$(dirname "$0")/test_lib.sh"
enter_work_folder

# labels_layout FILE LABELS COMMANDS: a layout in centimetres on A4 without
# margins, with the "labels" object LABELS.
labels_layout() {
  layout "$1" "{\"printer\": {\"paper\": \"A4\", \"margins\": 0}, \"labels\": $2, \"commands\": [$3]}"
}
name_cell='{"op": "AddText", "name": "T", "text": "{name}", "left": 0.2, "top": 0.2, "width": 4, "height": 1}'
printf 'name,city\nAnn,Rome\nBob,Oslo\nCyd,Lima\n' >people.csv

# --- Bad grids, cells and options
labels_layout wide.json '{"across": 3, "down": 7, "width": 7.5, "height": 3}' "$name_cell"
expect "grid wider than its paper" 2 "wide.json: labels: the grid does not fit its paper: 3 labels across end 225 mm from the left edge, beyond the paper's width of 210 mm" \
  print wide.json --data people.csv -o out.pdf
labels_layout overlap.json '{"across": 2, "down": 2, "width": 5, "height": 3, "pitchX": 4}' "$name_cell"
expect "overlapping labels" 2 "overlap.json: labels: labels overlap: the horizontal pitch (40 mm) is less than the label width (50 mm)" \
  print overlap.json --data people.csv -o out.pdf
labels_layout beyond.json '{"across": 3, "down": 7, "width": 6.35, "height": 3.81, "left": 0.72, "top": 1.5}' '{"op": "AddText", "name": "Wide", "text": "{name}", "left": 1, "top": 0, "width": 6, "height": 1}'
expect "a cell outside its label" 2 "beyond.json: labels: cell \"Wide\" lies outside its label: it spans 10 mm to 70 mm across" \
  print beyond.json --data people.csv -o out.pdf
labels_layout preset.json '{"sheet": "L7610"}' "$name_cell"
expect "unknown preset" 2 "preset.json: labels.sheet: no label sheet \"L7610\"" print preset.json --data people.csv -o out.pdf
# A preset brings its own paper (US Letter here) when the layout names none.
layout ok.json "{\"labels\": {\"sheet\": \"5160\"}, \"commands\": [$name_cell]}"
expect "--first beyond the sheet" 2 "--first 31 is beyond the sheet, which has 30 labels (3 x 10)" \
  print ok.json --data people.csv --first 31 -o out.pdf
expect "malformed --records" 2 "--records \"2-x\": \"x\" is not a record number" print ok.json --data people.csv --records 2-x -o out.pdf
expect "backward range" 2 "--records \"3-2\": the range \"3-2\" ends before it starts" print ok.json --data people.csv --records 3-2 -o out.pdf
expect "record 0" 2 "records are counted from 1, not 0" print ok.json --data people.csv --records 0 -o out.pdf
expect "records beyond the file" 2 "--records names record 9, but people.csv has 3 records" print ok.json --data people.csv --records 2,9 -o out.pdf
labels_layout typo.json '{"sheet": "5160"}' '{"op": "AddText", "name": "T", "text": "Dear {nmae},", "left": 0, "top": 0, "width": 4, "height": 1}'
# Columns that fill whole cells: by name or pattern, each cell by one column only,
# and every picture a record names checked before anything prints.
layout columns.json '{"commands": [{"op": "Add", "name": "L", "left": 0, "top": 0, "width": 6, "height": 2}, {"op": "SplitV", "baseName": "Copy", "parts": 3}, {"op": "AddGraphic", "name": "Photo", "file": "'"$MIVORA_SOURCE_DIR"'/tests/data/picture.png", "left": 0, "top": 3, "width": 2, "height": 2}]}'
printf 'Copy*,CopyC2\n1,2\n' >twice.csv
expect "two columns fill one cell" 2 'twice.csv:1: column 2 "CopyC2" fills the cell "CopyC2", which column 1 "Copy*" fills already' \
  print columns.json --data twice.csv --allow-outside -o out.pdf
printf 'CopyC1,\n1,2\n' >noname.csv
expect "a column without a name" 2 "noname.csv:1: column 2 has no name" print columns.json --data noname.csv --allow-outside -o out.pdf
printf 'Photo\nmissing.png\n' >photos.csv
expect "a missing picture" 2 'photos.csv:2: Photo: no picture file "missing.png"' \
  print columns.json --data photos.csv --allow-outside -o out.pdf
expect "unknown placeholder" 2 "typo.json: commands[0].text: {nmae} at character 6 names no column of people.csv (its columns: name, city); did you mean \"name\"?" \
  print typo.json --data people.csv -o out.pdf
labels_layout open.json '{"sheet": "5160"}' '{"op": "AddText", "name": "T", "text": "Dear {name", "left": 0, "top": 0, "width": 4, "height": 1}'
expect "unclosed brace" 2 "open.json: commands[0].text: the \"{\" at character 6 is not closed by a \"}\" (write {{ for a brace)" \
  print open.json --data people.csv -o out.pdf

# --- Label order, a partly used sheet and copies, read back from the page.
labels_layout two.json '{"across": 2, "down": 2, "width": 10, "height": 5, "order": "down"}' \
  '{"op": "AddText", "name": "T", "text": "{name} {label} {record}/{records} p{page}/{pages}", "left": 0, "top": 0, "width": 10, "height": 5}'
"$MIVORA" print two.json --data people.csv --first 2 --record-copies 2 -o two.pdf -q || fail "a merge with --first and copies failed"
[ "$(pages two.pdf)" = 2 ] || fail "7 labels from label 2 of 4 did not give 2 pages"
pdftotext -layout -f 1 -l 1 two.pdf first.txt
# Down, then across: label 2 is below label 1, labels 3 and 4 to their right.
# Label 1 (top left) stays empty; Ann's copies are labels 2 (below it) and 3 (top
# right), Bob's first copy label 4.
grep -q "^ \{10,\}Ann 3 1/3 p1/2 *$" first.txt || fail "label 1 is not empty, or Ann is not label 3: $(cat first.txt)"
grep -q "^ *Ann 2 1/3 p1/2 *Bob 4 2/3 p1/2 *$" first.txt || fail "labels 2 and 4 are not Ann and Bob: $(cat first.txt)"
pdftotext -f 2 -l 2 two.pdf second.txt
[ "$(grep -c "p2/2" second.txt)" = 3 ] || fail "the second sheet does not hold Bob's second copy and Cyd's two"

# --- Encodings and separators
python3 -c 'import sys; sys.stdout.buffer.write("name\tcity\r\nZoë\tMünchen\r\n".encode("utf-16"))' >utf16.tsv
"$MIVORA" print ok.json --data utf16.tsv -o utf16.pdf -q 2>stderr.txt || fail "a UTF-16 .tsv file did not merge: $(cat stderr.txt)"
pdftotext utf16.pdf - | grep -qF "Zoë" || fail "the UTF-16 name did not print"
printf 'name;city\nAnn;Rome\n' >semi.csv
expect "a header of one column with ;" 2 "semi.csv:1: the header has one column, \"name;city\"; if the fields are separated by ';', give --separator ';'" \
  print ok.json --data semi.csv -o out.pdf
printf 'name\tcity\nM\xfcller\tK\xf6ln\n' >win.txt
"$MIVORA" print ok.json --data win.txt --separator tab -o win.pdf -q || fail "--separator tab failed"
pdftotext win.pdf - | grep -qF "Müller" || fail "a Windows-1252 name did not print as such"

# --- A run split in parts at sheet boundaries joins into the whole run.
addresses=$examples/labels/addresses.csv
cp "$examples/labels/labels.json" labels.json
"$MIVORA" print labels.json --data "$addresses" -o whole.pdf -q || fail "the whole run failed"
"$MIVORA" print labels.json --data "$addresses" --records 1-105 -o part1.pdf -q || fail "the first part failed"
"$MIVORA" print labels.json --data "$addresses" --records 106-200 -o part2.pdf -q || fail "the second part failed"
qpdf --empty --pages part1.pdf part2.pdf -- joined.pdf || fail "qpdf could not join the parts"
[ "$(pages joined.pdf)" = "$(pages whole.pdf)" ] || fail "the joined parts have $(pages joined.pdf) pages, the whole run $(pages whole.pdf)"
for ((p = 1; p <= $(pages whole.pdf); p++)); do
  cmp -s <(pdftotext -layout -f $p -l $p whole.pdf -) <(pdftotext -layout -f $p -l $p joined.pdf -) ||
    fail "page $p of the joined parts differs from the whole run"
done

# --- The examples of docs/merging.md, run as written: GNU parallel, then the
# Slurm task script (its tasks run here one after the other) and the join.
awk '/^```sh$/ {n++; file="block" n ".sh"; next} /^```$/ {file=""} file {print > file}' \
  "$MIVORA_SOURCE_DIR/docs/merging.md"
[ -s block4.sh ] || fail "docs/merging.md does not hold its four examples"
export PATH="$(dirname "$MIVORA"):$PATH"
cp "$addresses" addresses.csv
mkdir -p gnu slurm
cp labels.json addresses.csv gnu/ && cp labels.json addresses.csv slurm/
if command -v parallel >/dev/null; then
  (cd gnu && bash ../block1.sh) || fail "the GNU parallel example failed"
  [ "$(pages gnu/labels.pdf)" = 10 ] || fail "the GNU parallel example did not join 10 pages"
  cmp -s <(pdftotext -layout gnu/labels.pdf -) <(pdftotext -layout whole.pdf -) ||
    fail "the GNU parallel example differs from the whole run"
else
  echo "GNU parallel is not installed: its example was not run" >&2
fi
(cd slurm && for task in 0 1; do SLURM_ARRAY_TASK_ID=$task PER_PART=105 RECORDS=200 bash ../block2.sh || exit 1; done &&
  bash ../block3.sh) || fail "the Slurm example failed"
cmp -s <(pdftotext -layout slurm/labels.pdf -) <(pdftotext -layout whole.pdf -) ||
  fail "the Slurm example's joined parts differ from the whole run"
bash block4.sh >/dev/null || fail "the check of the joined halves in docs/merging.md failed"

# --- Fields inside a barcode's data: each record's code scans as its own data.
layout tag.json '{"printer": {"paper": {"width": 80, "height": 40}, "resolution": 300, "margins": 0}, "commands": [{"op": "AddBarcode", "name": "Tag", "symbology": "code128", "data": "PKG-{name}-{record}", "left": 0.5, "top": 0.5, "width": 7, "height": 3}]}'
"$MIVORA" print tag.json --data people.csv -o tag.png -q || fail "a barcode merge failed"
for page in 1:Ann 2:Bob 3:Cyd; do
  n=${page%%:*} who=${page#*:}
  decoded=$(zbarimg -q --raw "tag-00$n.png" 2>/dev/null)
  [ "$decoded" = "PKG-$who-$n" ] || fail "barcode of record $n reads \"$decoded\", expected PKG-$who-$n"
done

# --- Fields inside a picture's file name: each record's own picture, every name
# looked for before anything prints, none leading out of the layout's folder.
mkdir -p photos
cp "$MIVORA_SOURCE_DIR/tests/data/picture.png" photos/ann.png
cp "$MIVORA_SOURCE_DIR/tests/data/picture-quadrants.jpg" photos/bob.jpg
photo_layout() {  # FILE NAME
  layout "$1" '{"printer": {"paper": {"width": 30, "height": 30}, "resolution": 100, "margins": 0}, "commands": [{"op": "AddGraphic", "name": "Photo", "file": "'"$2"'", "left": 0.5, "top": 0.5, "width": 2, "height": 2}]}'
}
photo_layout photo.json 'photos/{id}'
photo_layout ann.json photos/ann.png
photo_layout bob.json photos/bob.jpg
printf 'id,name
ann.png,Ann
bob.jpg,Bob
ann.png,Ann again
' >photos.csv
"$MIVORA" print photo.json --data photos.csv -o photo.png -q 2>stderr.txt || fail "a merge of pictures named by fields failed: $(cat stderr.txt)"
"$MIVORA" print ann.json -o ann.png -q && "$MIVORA" print bob.json -o bob.png -q || fail "the single pictures did not print"
cmp -s photo-001.png ann.png || fail "record 1 does not show photos/ann.png"
cmp -s photo-002.png bob.png || fail "record 2 does not show photos/bob.jpg"
cmp -s photo-003.png ann.png || fail "record 3 does not show photos/ann.png again"
# A label sheet of them, with the label's place in the name.
cp photos/ann.png photos/at-1.png && cp photos/bob.jpg photos/at-2.png
labels_layout atlabel.json '{"across": 2, "down": 1, "width": 3, "height": 3}' '{"op": "AddGraphic", "name": "Photo", "file": "photos/at-{label}.png", "left": 0.5, "top": 0.5, "width": 2, "height": 2}'
"$MIVORA" check atlabel.json --data photos.csv >/dev/null 2>stderr.txt || fail "{label} in a picture name: $(cat stderr.txt)"
sed 's/"across": 2/"across": 3/' atlabel.json >atlabel3.json
expect "a label whose picture is missing" 2 'photos.csv:4: cell "Photo": no picture file "photos/at-3.png"' \
  check atlabel3.json --data photos.csv
printf 'id
ann.png
zed.png
' >missing.csv
expect "a record's missing picture" 2 'missing.csv:3: cell "Photo": no picture file "photos/zed.png"' \
  print photo.json --data missing.csv -o out.pdf
expect "a record's missing picture, found by check" 2 'missing.csv:3: cell "Photo": no picture file "photos/zed.png"' \
  check photo.json --data missing.csv
printf 'id
ann.png
../../../../etc/hostname
' >escape.csv
expect "a record's picture outside the folder" 2 'escape.csv:3: cell "Photo": "photos/../../../../etc/hostname" leads outside the folder' \
  print photo.json --data escape.csv -o out.pdf
sed 's/{id}/{idd}/' photo.json >photo-typo.json
expect "a picture name with an unknown field" 2 'photo-typo.json: commands[0].file: {idd} at character 8 names no column of photos.csv (its columns: id, name); did you mean "id"?' \
  print photo-typo.json --data photos.csv -o out.pdf
photo_layout photo-open.json 'photos/{id'
expect "a picture name with an unclosed brace" 2 'photo-open.json: commands[0].file: the "{" at character 8 is not closed' \
  print photo-open.json --data photos.csv -o out.pdf

# Every record is checked before anything prints: an address that wraps onto
# more lines than its label holds, in the last record, is named with its record;
# --strict prints nothing. Addresses that fit (one with a tab, one with spaces
# at a line's end) are not named.
address_cell='{"op": "AddText", "name": "Address", "text": "{name}\n{street}", "left": 0.2, "top": 0.1, "width": 4, "height": 1.2, "font": {"height": 0.4}}'
labels_layout address.json '{"across": 2, "down": 2, "width": 5, "height": 1.4}' \
  '{"op": "SetTextProperties", "wordWrap": true}, '"$address_cell"
printf 'name,street\nAnn,Main Street 1   \nBob,"Mill\tLane 2"\nCyd,A very long street name that the label cannot hold on one line 3\n' >long.csv
"$MIVORA" print address.json --data long.csv -o address.pdf 2>stderr.txt || fail "the address merge did not print: $(cat stderr.txt)"
[ "$(pages address.pdf)" = 1 ] || fail "the address merge printed $(pages address.pdf) pages, not 1"
grep -q 'long.csv:4 (record 3): .*cell "Address": text "Cyd' stderr.txt ||
  fail "the address that does not fit is not named with its record: $(cat stderr.txt)"
grep -q 'does not fit: its [0-9]* lines need' stderr.txt || fail "the address that does not fit does not say so: $(cat stderr.txt)"
[ "$(grep -c 'cell "Address"' stderr.txt)" = 1 ] || fail "addresses that fit were warned about: $(cat stderr.txt)"
expect "an address that does not fit, with --strict" 2 "address.json: 1 warning about the page, and --strict makes them errors: nothing printed" \
  print address.json --data long.csv -o out.pdf --strict

finish "merges behave"

#!/usr/bin/env bash
# The warnings of `mivora check` and `mivora print` about what would spoil the
# page: on standard error, naming the layout, the cell and its command; once per
# record in a merge; errors with --strict, when nothing is written.
# Environment: MIVORA (the program), MIVORA_SOURCE_DIR.
set -uo pipefail

. "$(dirname "$0")/test_lib.sh"
enter_work_folder

cat >page.json <<'JSON'
{
  "title": "Warnings",
  "printer": { "paper": "A4", "resolution": 300 },
  "measurement": "centimeters",
  "commands": [
    { "op": "AddText", "name": "Heading", "text": "An annual report that is far too long for its cell",
      "left": 2, "top": 2, "width": 6, "height": 1, "font": { "height": 0.8 } },
    { "op": "AddText", "name": "Stamp", "text": "PAID", "left": 19, "top": 27, "width": 4, "height": 2 },
    { "op": "AddText", "name": "Brand", "text": "Brand", "left": 2, "top": 5, "width": 6, "height": 2,
      "font": { "name": "Helvetika Neue Pro" } },
    { "op": "AddText", "name": "Fine", "text": "Fits well", "left": 2, "top": 8, "width": 10, "height": 2 }
  ]
}
JSON

"$MIVORA" check page.json >out.txt 2>err.txt
[ $? = 0 ] || fail "check with warnings did not exit 0: $(cat err.txt)"
grep -q "ok, 4 commands, 4 cells, 3 warnings" out.txt || fail "check does not count its warnings: $(cat out.txt)"
[ "$(grep -c '^mivora: warning: page.json: commands\[[0-9]\] (AddText "[A-Za-z]*"): cell ' err.txt)" = 3 ] || fail "check gave not 3 warnings: $(cat err.txt)"
grep -q 'commands\[0\] (AddText "Heading"): cell "Heading": text "An annual report that is far t..." does not fit: its 3 lines need' err.txt ||
  fail "no warning for the heading that does not fit: $(cat err.txt)"
grep -q 'commands\[1\] (AddText "Stamp"): cell "Stamp": reaches past the printable area (210 mm x 297 mm) (right by 20.1 mm); that part does not print' err.txt ||
  fail "no warning for the cell off the page: $(cat err.txt)"
grep -q 'commands\[2\] (AddText "Brand"): cell "Brand": font "Helvetika Neue Pro" is not installed; "' err.txt ||
  fail "no warning for the replaced font: $(cat err.txt)"
grep -q '"Fine"' err.txt && fail "a cell that prints well was warned about"

"$MIVORA" print page.json -o page.pdf 2>err.txt || fail "print with warnings failed: $(cat err.txt)"
[ -s page.pdf ] || fail "print with warnings wrote no page"
[ "$(grep -c '^mivora: warning: ' err.txt)" = 3 ] || fail "print gave not 3 warnings: $(cat err.txt)"

# --strict: an error, and nothing written.
"$MIVORA" print page.json -o strict.pdf --strict 2>err.txt
[ $? = 2 ] || fail "print --strict with warnings did not exit 2"
[ -e strict.pdf ] && fail "print --strict wrote a file despite its warnings"
grep -q "mivora: page.json: 3 warnings about the page, and --strict makes them errors: nothing printed" err.txt ||
  fail "print --strict does not say why it stopped: $(cat err.txt)"
"$MIVORA" check page.json --strict >/dev/null 2>&1
[ $? = 2 ] || fail "check --strict with warnings did not exit 2"

# A merge: the stamp is off the page for every record but is named once; a name
# too long for its cell names its record.
cat >merge.json <<'JSON'
{
  "printer": { "paper": "A4", "resolution": 300 },
  "measurement": "centimeters",
  "commands": [
    { "op": "SetTextProperties", "shrinkToFit": false, "wordWrap": false },
    { "op": "AddText", "name": "Name", "text": "", "left": 2, "top": 2, "width": 5, "height": 1,
      "font": { "height": 0.6 } },
    { "op": "AddText", "name": "Stamp", "text": "PAID", "left": 19, "top": 27, "width": 4, "height": 2 }
  ]
}
JSON
printf 'Name\nAda\nMaximiliane Zimmermann-Oberhausen\nBob\n' >names.csv
"$MIVORA" print merge.json --data names.csv -o merge.pdf -q 2>err.txt || fail "the merge did not print: $(cat err.txt)"
[ "$(pages merge.pdf)" = 3 ] || fail "the merge printed $(pages merge.pdf) pages, not 3"
[ "$(grep -c 'cell "Stamp"' err.txt)" = 1 ] || fail "the stamp off the page was not named exactly once: $(cat err.txt)"
grep -q 'names.csv:2 (record 1): commands\[2\] (AddText "Stamp"): cell "Stamp": reaches past' err.txt || fail "the stamp's warning does not name its record: $(cat err.txt)"
grep -q 'names.csv:3 (record 2): commands\[1\] (AddText "Name"): cell "Name": text "Maximiliane Zimmermann-Oberhau..." runs' err.txt ||
  fail "the long name's warning does not name its record: $(cat err.txt)"
[ "$(grep -c 'cell "Name"' err.txt)" = 1 ] || fail "names that fit were warned about: $(cat err.txt)"

# A clean page gives no warning at all.
cat >clean.json <<'JSON'
{ "commands": [ { "op": "AddText", "name": "Hello", "text": "Hello", "left": 2, "top": 2, "width": 10, "height": 2 } ] }
JSON
"$MIVORA" check clean.json >out.txt 2>err.txt || fail "check of a clean page failed"
[ -s err.txt ] && fail "a clean page got warnings: $(cat err.txt)"

# Font files a layout names: available to its job, so the family is not replaced;
# one that cannot be read is an error naming it.
own=/usr/share/fonts/opentype/urw-base35/URWGothic-Book.otf
if [ -f "$own" ]; then
  cp "$own" brand.otf
  cat >fonts.json <<'JSON'
{ "fonts": ["brand.otf"],
  "commands": [ { "op": "AddText", "name": "Logo", "text": "Brand", "left": 2, "top": 2, "width": 10, "height": 2,
                  "font": { "name": "URW Gothic" } } ] }
JSON
  "$MIVORA" print fonts.json -o fonts.pdf 2>err.txt || fail "a layout with its own font did not print: $(cat err.txt)"
  [ -s err.txt ] && fail "a layout's own font was reported: $(cat err.txt)"
  pdffonts fonts.pdf | grep -q "URWGothic" || fail "the layout's own font is not in the PDF: $(pdffonts fonts.pdf)"
  sed 's/"fonts": \["brand.otf"\],//' fonts.json >nofont.json
  "$MIVORA" check nofont.json >/dev/null 2>err.txt
  grep -q 'font "URW Gothic" is not installed' err.txt || fail "a font without its file was not reported: $(cat err.txt)"
fi
cat >missing.json <<'JSON'
{ "fonts": ["brand-missing.otf"], "commands": [] }
JSON
"$MIVORA" print missing.json -o missing.pdf 2>err.txt
[ $? = 2 ] || fail "a missing font file did not exit 2"
[ -e missing.pdf ] && fail "a missing font file still wrote a page"
grep -q "missing.json: fonts\[0\]" err.txt || fail "a missing font file is not named: $(cat err.txt)"
echo "not a font" >fake.otf
cat >fake.json <<'JSON'
{ "fonts": ["fake.otf"], "commands": [] }
JSON
"$MIVORA" check fake.json >/dev/null 2>err.txt
[ $? = 2 ] || fail "a file that is no font did not exit 2"
grep -q 'fake.json: fonts\[0\]: The file ".*fake.otf" is not a font that can be used' err.txt ||
  fail "a file that is no font is not named: $(cat err.txt)"

finish "warnings: check, print, --strict and merges; a layout's own fonts"

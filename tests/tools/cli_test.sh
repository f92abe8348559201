#!/usr/bin/env bash
# The mivora command on malformed and hostile input: each case must end with its
# exit code and a clear message, and leave no output file behind.
# Environment: MIVORA (the program), MIVORA_SOURCE_DIR.
set -uo pipefail

. "$(dirname "$0")/test_lib.sh"
enter_work_folder

cell='"left": 1, "top": 1, "width": 5, "height": 2'

# --- A good layout prints, and --help works on every command.
layout ok.json "{\"commands\": [{\"op\": \"AddText\", \"name\": \"T\", \"text\": \"Hello\", $cell}]}"
"$MIVORA" print ok.json -o out.pdf 2>stderr.txt || fail "a good layout did not print: $(cat stderr.txt)"
[ -s out.pdf ] || fail "out.pdf not written"
for command in "" print check printers; do
  "$MIVORA" $command --help >help.txt 2>&1 || fail "mivora $command --help failed"
  grep -q "Exit codes" help.txt || fail "mivora $command --help does not explain the exit codes"
done

# --- Command line
expect "no command" 2 "A subcommand is required"
expect "unknown option" 2 "--bogus" print ok.json --bogus
expect "-o a file with -P" 2 "not an output file" print ok.json -o out.pdf -P q
expect "unknown output kind" 2 "Cannot tell the kind of output from \"out.txt\"" print ok.json -o out.txt
expect "missing layout" 2 "Cannot read the layout \"nope.json\": no such file" print nope.json -o out.pdf
expect "layout is a folder" 2 "not a regular file" print . -o out.pdf

# --- Malformed layouts
layout bad.json '{"commands": [ {"op": "Reset"},, ]}'
expect "bad JSON" 2 "bad.json:1:32: JSON syntax error: unexpected ','" print bad.json -o out.pdf
layout bad.json "{\"commands\": [{\"op\": \"AddText\", \"name\": \"T\", \"text\": 5, $cell}]}"
expect "wrong type" 2 "bad.json: commands[0].text: expected a string, found 5" print bad.json -o out.pdf
layout bad.json "{\"commands\": [{\"op\": \"Reset\"}, {\"op\": \"Explode\"}]}"
expect "unknown command" 2 "bad.json: commands[1].op: unknown command \"Explode\"" print bad.json -o out.pdf
layout bad.json '{"commands": [{"op": "Add", "name": "A", "left": 1e308, "top": 0, "width": 1, "height": 1}]}'
expect "huge number" 2 "commands[0].left: 1e+308 is out of range" print bad.json -o out.pdf
layout bad.json '{"commands": [{"op": "Add", "name": "A", "left": 0, "top": 0, "width": 1, "height": 1},
  {"op": "Split", "baseName": "G", "rows": 100000, "cols": 100000}]}'
expect "huge split" 2 "this cut makes up to 100000 x 100000 cells" print bad.json -o out.pdf
layout bad.json '{"printer": {"resolution": 0}, "commands": []}'
expect "resolution" 2 "printer.resolution: 0 is out of range (1 to 9600)" print bad.json -o out.pdf
printf '{"title": "\xff", "commands": []}' >bad.json
expect "invalid UTF-8" 2 "ill-formed UTF-8" print bad.json -o out.pdf
python3 -c "print('{\"commands\": ' + '[' * 100000 + ']' * 100000 + '}')" >bad.json
expect "deep nesting" 2 "nested more than 64 levels deep" print bad.json -o out.pdf
head -c 17000000 /dev/zero | tr '\0' ' ' >bad.json
expect "huge file" 2 "is larger than 16777216 bytes" print bad.json -o out.pdf

# --- Errors of the sheet name their command
layout bad.json "{\"commands\": [{\"op\": \"AddText\", \"name\": \"T\", \"text\": \"a\", $cell},
  {\"op\": \"AddText\", \"name\": \"t\", \"text\": \"b\", $cell}]}"
expect "sheet error" 2 "bad.json: commands[1] (AddText \"t\"): Cell \"t\" already exists" print bad.json -o out.pdf
layout bad.json '{"commands": [{"op": "Add", "name": "A", "left": 0, "top": 0, "width": -1, "height": 1}]}'
expect "negative width" 2 "commands[0] (Add \"A\"): Invalid property error - A.Width" print bad.json -o out.pdf

# --- Pictures and rich text: missing, foreign, outside the folder
layout bad.json "{\"commands\": [{\"op\": \"AddGraphic\", \"name\": \"P\", \"file\": \"missing.png\", $cell}]}"
expect "missing picture" 2 "commands[0] (AddGraphic \"P\"): Cannot load picture" print bad.json -o out.pdf
echo "not a picture" >fake.png
layout bad.json "{\"commands\": [{\"op\": \"AddGraphic\", \"name\": \"P\", \"file\": \"fake.png\", $cell}]}"
expect "foreign picture" 2 "commands[0] (AddGraphic \"P\")" print bad.json -o out.pdf
layout bad.json "{\"commands\": [{\"op\": \"AddGraphic\", \"name\": \"P\", \"file\": \"../../etc/passwd\", $cell}]}"
expect "path outside" 2 "leads outside the folder" print bad.json -o out.pdf
layout bad.json "{\"commands\": [{\"op\": \"AddRichEdit\", \"name\": \"R\", \"file\": \"/etc/hostname\", $cell}]}"
expect "absolute path" 2 "is an absolute path" print bad.json -o out.pdf
"$MIVORA" check bad.json --allow-outside >/dev/null 2>&1 || fail "--allow-outside did not allow an absolute path"
layout bad.json "{\"commands\": [{\"op\": \"AddRichEdit\", \"name\": \"R\", \"rtf\": \"{\\\\rtf1 {\\\\b open\", $cell}]}"
expect "broken RTF" 2 "commands[0] (AddRichEdit \"R\")" print bad.json -o out.pdf

# --- Data files
layout merge.json "{\"commands\": [{\"op\": \"AddText\", \"name\": \"Name\", \"text\": \"\", $cell}]}"
printf 'Name\nAnn\nBob\n' >ok.csv
"$MIVORA" print merge.json --data ok.csv -o out.pdf -q 2>stderr.txt || fail "merge failed: $(cat stderr.txt)"
[ "$(pages out.pdf)" = 2 ] || fail "merge of two records did not give two pages"
printf 'Name,Nmae\nAnn,x\n' >bad.csv
"$MIVORA" print merge.json --data bad.csv -o out.pdf -q 2>stderr.txt || fail "a column nothing uses stopped the merge"
grep -qF 'warning: bad.csv:1: column 2 "Nmae" is used by no field and names no cell (the cells: Name)' stderr.txt ||
  fail "no warning for a column nothing uses: $(cat stderr.txt)"
expect "unused column with --strict" 2 "bad.csv:1: column 2 \"Nmae\" is used by no field and names no cell" print merge.json --data bad.csv -o out.pdf --strict
printf 'Name\nAnn\nBob\n"Unclosed\n' >bad.csv
expect "unclosed quote" 2 "bad.csv:4: a quoted field is not closed" print merge.json --data bad.csv -o out.pdf
printf '\xef\xbb\xbfName\r\nAnn\r\nBob,extra\r\n' >bad.csv
expect "ragged record" 2 "bad.csv:3: 2 fields, but the header has 1" print merge.json --data bad.csv -o out.pdf
printf 'Name\n' >bad.csv
expect "no records" 2 "the file has a header but no records" print merge.json --data bad.csv -o out.pdf
expect "missing data" 2 "Cannot read the data file" print merge.json --data nope.csv -o out.pdf
expect "check finds data faults, also in a pipe" 2 ":3: 1 field, but the header has 2" check merge.json --data <(printf 'Name,X\n1,2\n3\n')
"$MIVORA" print merge.json --data <(printf 'Name\nAnn\nBob\n') -o out.pdf -q || fail "a merge from a pipe failed"
[ "$(pages out.pdf)" = 2 ] || fail "a merge from a pipe did not give two pages"
expect "separator" 2 "--separator takes one character" print merge.json --data ok.csv --separator ';;' -o out.pdf

# --- A failing picture in the middle of a PNG merge leaves no page behind
layout pics.json "{\"commands\": [{\"op\": \"AddGraphic\", \"name\": \"P\", \"file\": \"dot.png\", $cell}]}"
cp "$MIVORA_SOURCE_DIR/tests/data/picture.png" dot.png
printf 'P\ndot.png\nfake.png\n' >pics.csv
expect "bad picture in data" 2 "pics.csv:3: P:" print pics.json --data pics.csv -o out.png

# --- Printer failures: exit code 3
expect "unwritable output" 3 "Cannot write" print ok.json -o /nonexistent-folder/out.pdf
CUPS_SERVER=$work/no-server.sock expect "no CUPS server" 3 "Cannot reach the CUPS server" printers

# --- check writes nothing and reports the layout
"$MIVORA" check ok.json >stdout.txt 2>&1 || fail "check of a good layout failed"
grep -q "ok.json: ok, 1 commands, 1 cells" stdout.txt || fail "check says: $(cat stdout.txt)"
compgen -G "*.pdf" >/dev/null && [ ! -e out.pdf ] && fail "check wrote a PDF"

finish "all command-line cases passed"

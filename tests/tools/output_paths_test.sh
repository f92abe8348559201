#!/usr/bin/env bash
# Where the mivora command may not write: a link that leads nowhere or round in a
# loop, a folder it may not write in, files named outside the layout's folder.
# Each ends with its exit code and a message naming the path, and leaves every
# earlier file as it was.
# Environment: MIVORA (the program), MIVORA_SOURCE_DIR.
set -uo pipefail

. "$(dirname "$0")/test_lib.sh"
enter_work_folder
chmod 755 "$work"

cell='"left": 1, "top": 1, "width": 5, "height": 2'
printf "%s\n" "{\"commands\": [{\"op\": \"AddText\", \"name\": \"T\", \"text\": \"Hello\", $cell}]}" >ok.json

# --- A dangling link and a link loop as the output: exit 3, the link kept.
ln -s missing-folder/target.pdf dangling.pdf
"$MIVORA" print ok.json -o dangling.pdf >/dev/null 2>stderr.txt
rc=$?
[ "$rc" -eq 3 ] || fail "dangling link: exit code $rc, expected 3"
grep -qF 'Cannot write "dangling.pdf": it is a symbolic link to a file that does not exist' stderr.txt ||
  fail "dangling link: message: $(cat stderr.txt)"
[ -L dangling.pdf ] || fail "dangling link: the link was replaced"
[ -e missing-folder ] && fail "dangling link: its target was made"

for format in pdf png svg; do
  ln -s loop-b.$format loop-a.$format
  ln -s loop-a.$format loop-b.$format
  "$MIVORA" print ok.json -o loop-a.$format >/dev/null 2>stderr.txt
  rc=$?
  [ "$rc" -eq 3 ] || fail "link loop ($format): exit code $rc, expected 3"
  grep -qF "Cannot write \"loop-a.$format\": it is a loop of symbolic links" stderr.txt ||
    fail "link loop ($format): message: $(cat stderr.txt)"
  [ -L loop-a.$format ] && [ -L loop-b.$format ] || fail "link loop ($format): a link was replaced"
done

# A link to an existing file still leads to it: the file is replaced, the link kept.
echo earlier >real.pdf
ln -s real.pdf link.pdf
"$MIVORA" print ok.json -o link.pdf 2>stderr.txt || fail "link to a file: $(cat stderr.txt)"
[ -L link.pdf ] || fail "link to a file: the link was replaced"
[ "$(pages real.pdf)" = 1 ] || fail "link to a file: the file it names was not printed"

# --- A folder the user may not write in: exit 3, the earlier file unchanged,
# nothing left beside it. Root writes anywhere, so the command runs as nobody.
mkdir locked
echo earlier >locked/out.pdf
chmod 555 locked
chmod 644 ok.json
run_as=()
if [ "$(id -u)" -eq 0 ]; then run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups); fi
"${run_as[@]}" "$MIVORA" print ok.json -o locked/out.pdf >/dev/null 2>stderr.txt
rc=$?
[ "$rc" -eq 3 ] || fail "read-only folder: exit code $rc, expected 3 ($(cat stderr.txt))"
grep -qF 'locked/out.pdf' stderr.txt || fail "read-only folder: the message does not name the file: $(cat stderr.txt)"
[ "$(cat locked/out.pdf)" = earlier ] || fail "read-only folder: the earlier file changed"
[ "$(ls -A locked)" = out.pdf ] || fail "read-only folder: files left: $(ls -A locked)"
chmod 755 locked

# --- Data files naming pictures outside their folder are refused before printing.
mkdir data
cp "$MIVORA_SOURCE_DIR/tests/data/picture.png" .
printf "%s\n" "{\"commands\": [{\"op\": \"AddGraphic\", \"name\": \"Photo\", \"file\": \"picture.png\", $cell}]}" >pictures.json
printf 'Photo\n../../../etc/passwd\n' >data/records.csv
"$MIVORA" print pictures.json --data data/records.csv -o out.pdf >/dev/null 2>stderr.txt
rc=$?
[ "$rc" -eq 2 ] || fail "data path outside: exit code $rc, expected 2 ($(cat stderr.txt))"
grep -qF 'leads outside the folder' stderr.txt || fail "data path outside: message: $(cat stderr.txt)"
[ -e out.pdf ] && fail "data path outside: output written"

# --- A PNG or SVG merge puts all its pages in place or none. An earlier run
# of three pages; then page 2's name is taken by a folder: exit 3 naming it,
# pages 1 and 3 of the earlier run unchanged, nothing new left.
printf "%s\n" "{\"commands\": [{\"op\": \"AddText\", \"name\": \"T\", \"text\": \"{Name}\", $cell}]}" >merge.json
printf 'Name\nAda\nGrace\nEdsger\n' >first.csv
printf 'Name\nAlan\nBarbara\nDonald\n' >second.csv
for format in png svg; do
  "$MIVORA" print merge.json --data first.csv -o pages.$format --dpi 50 2>stderr.txt || fail "$format merge: $(cat stderr.txt)"
  md5sum pages-001.$format pages-003.$format >earlier.md5
  rm pages-002.$format
  mkdir pages-002.$format
  "$MIVORA" print merge.json --data second.csv -o pages.$format --dpi 50 >/dev/null 2>stderr.txt
  rc=$?
  [ "$rc" -eq 3 ] || fail "$format merge, page 2 blocked: exit code $rc, expected 3"
  grep -qF "Cannot write \"pages-002.$format\": it is a folder" stderr.txt ||
    fail "$format merge, page 2 blocked: message: $(cat stderr.txt)"
  md5sum -c --quiet earlier.md5 || fail "$format merge, page 2 blocked: an earlier page changed"
  [ -d pages-002.$format ] || fail "$format merge, page 2 blocked: the folder went"
  [ "$(ls -A | grep -c "pages")" -eq 3 ] || fail "$format merge, page 2 blocked: files left: $(ls -A)"
  rmdir pages-002.$format
  rm -f pages-*.$format
done

# A page name found faulty while the pages are put in place (page 3's name is a
# link that leads nowhere) leaves the earlier pages 1 and 2 as they were.
"$MIVORA" print merge.json --data first.csv -o pages.png --dpi 50 2>stderr.txt || fail "png merge: $(cat stderr.txt)"
md5sum pages-001.png pages-002.png >earlier.md5
rm pages-003.png
ln -s nowhere/page.png pages-003.png
"$MIVORA" print merge.json --data second.csv -o pages.png --dpi 50 >/dev/null 2>stderr.txt
rc=$?
[ "$rc" -eq 3 ] || fail "merge onto a dangling link: exit code $rc, expected 3"
grep -qF 'Cannot write "pages-003.png": it is a symbolic link to a file that does not exist' stderr.txt ||
  fail "merge onto a dangling link: message: $(cat stderr.txt)"
md5sum -c --quiet earlier.md5 || fail "merge onto a dangling link: an earlier page changed"
[ -L pages-003.png ] || fail "merge onto a dangling link: the link was replaced"
rm -f pages-*.png

# Pages drawn by several processes are the same files as those one process
# draws (labels on sheets, pictures and all): PNG byte for byte; SVG but for
# the number Cairo gives the page's top group (counted across the process, it
# differs already between a page drawn first and one drawn after others).
records=$(python3 -c 'print("Name"); [print(f"Name {i}") for i in range(23)]')
printf '%s\n' "$records" >many.csv
printf "%s\n" "{\"labels\": {\"across\": 2, \"down\": 2, \"width\": 8, \"height\": 5, \"left\": 1, \"top\": 1},
  \"commands\": [{\"op\": \"AddText\", \"name\": \"T\", \"text\": \"{Name} {page}\", \"left\": 0, \"top\": 0, \"width\": 6, \"height\": 2},
  {\"op\": \"AddGraphic\", \"name\": \"P\", \"file\": \"picture.png\", \"left\": 0, \"top\": 2, \"width\": 3, \"height\": 2}]}" >sheets.json
for format in png svg; do
  mkdir one three
  "$MIVORA" print sheets.json --data many.csv -o one/labels.$format --dpi 60 --jobs 1 2>stderr.txt ||
    fail "$format, one process: $(cat stderr.txt)"
  "$MIVORA" print sheets.json --data many.csv -o three/labels.$format --dpi 60 --jobs 3 2>stderr.txt ||
    fail "$format, three processes: $(cat stderr.txt)"
  [ "$(ls one | wc -l)" -eq 6 ] || fail "$format, one process: $(ls one)"
  if [ "$format" = svg ]; then sed -i -E 's/<g id="surface[0-9]+">/<g id="surface">/' one/* three/*; fi
  diff -r one three >/dev/null || fail "$format: the pages of three processes differ from one's: $(diff -rq one three)"
  rm -rf one three
done
[ -z "$(ls -A | grep '^\.')" ] || fail "temporary files left: $(ls -A)"

finish "output paths: links, locked folders and outside paths refused; merges all or nothing"

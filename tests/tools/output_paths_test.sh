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

finish "output paths: links, locked folders and outside paths refused"

#!/usr/bin/env bash
# A PNG or SVG merge drawn by several processes (--jobs): the processes take
# the pages as they come free, yet write the same files as one process does;
# the job syncs the disk once, however many processes drew it; a failure
# leaves nothing behind.
# Environment: MIVORA (the program), MIVORA_SOURCE_DIR.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/test_lib.sh"
enter_work_folder

# Pages of different cost: every third record has a long note to wrap, so
# that the processes do not take the pages in turns.
python3 - >records.csv <<'PY'
import csv, sys
w = csv.writer(sys.stdout, lineterminator="\n")
w.writerow(["Name", "Note"])
for i in range(9):
    w.writerow([f"Person {i}", " ".join(f"word{j}" for j in range(i * 40 if i % 3 == 0 else 3))])
PY
cat >merge.json <<'JSON'
{"commands": [
  {"op": "AddText", "name": "Name", "text": "{Name}", "left": 1, "top": 1, "width": 12, "height": 2},
  {"op": "AddText", "name": "Note", "text": "{Note}", "left": 1, "top": 4, "width": 12, "height": 12, "wordWrap": true}]}
JSON

for format in png svg; do
  for jobs in 1 2 9; do
    mkdir "jobs-$jobs"
    "$MIVORA" print -q merge.json --data records.csv -o "jobs-$jobs/page.$format" --dpi 80 --jobs "$jobs" 2>stderr.txt ||
      fail "$format, --jobs $jobs: $(cat stderr.txt)"
    [ "$(ls "jobs-$jobs" | wc -l)" -eq 9 ] || fail "$format, --jobs $jobs: wrote $(ls "jobs-$jobs")"
    # Cairo numbers an SVG page's top group across the process.
    if [ "$format" = svg ]; then sed -i -E 's/<g id="surface[0-9]+">/<g id="surface">/' "jobs-$jobs"/*; fi
  done
  for jobs in 2 9; do
    diff -r jobs-1 "jobs-$jobs" >/dev/null ||
      fail "$format: the pages of $jobs processes differ from one's: $(diff -rq jobs-1 "jobs-$jobs")"
  done
  rm -rf jobs-*
done

# One sync of the disk per job, by whichever process makes it.
if command -v strace >/dev/null; then
  for jobs in 1 3; do
    mkdir synced
    # The leak checker of a sanitized build cannot run under strace.
    ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 \
      strace -f -c -o syncs.txt -e trace=fsync,fdatasync,syncfs,sync,sync_file_range \
      "$MIVORA" print -q merge.json --data records.csv -o synced/page.png --dpi 40 --jobs "$jobs" 2>stderr.txt ||
      fail "syncs, --jobs $jobs: $(cat stderr.txt)"
    # "% time  seconds  usecs/call  calls  [errors]  syscall"
    calls=$(awk '$NF ~ /^(fsync|fdatasync|syncfs|sync|sync_file_range)$/ {n += $4} END {print n + 0}' syncs.txt)
    [ "$calls" -eq 1 ] || fail "--jobs $jobs: $calls disk syncs, expected 1: $(cat syncs.txt)"
    rm -rf synced syncs.txt
  done
else
  echo "strace not installed: the disk syncs are not counted"
fi

# A merge of several processes that fails: nothing is written, and no
# temporary file or folder is left.
mkdir out
cp "$MIVORA_SOURCE_DIR/tests/data/picture.png" ok.png
printf 'Picture\nok.png\nok.png\nmissing.png\nok.png\n' >pictures.csv
cat >pictures.json <<'JSON'
{"commands": [{"op": "AddGraphic", "name": "Picture", "file": "{Picture}", "left": 1, "top": 1, "width": 4, "height": 4}]}
JSON
"$MIVORA" print -q pictures.json --data pictures.csv -o out/page.png --dpi 40 --jobs 2 2>stderr.txt
rc=$?
[ "$rc" -eq 2 ] || fail "a missing picture: exit code $rc, expected 2: $(cat stderr.txt)"
grep -qF 'missing.png' stderr.txt || fail "a missing picture: message: $(cat stderr.txt)"
[ -z "$(ls -A out)" ] || fail "a missing picture: left $(ls -A out)"

finish "print jobs: pages taken by several processes are the same files, synced once"

#!/usr/bin/env bash
# SIGINT, SIGTERM and SIGHUP in the middle of `mivora print`: to a PDF file, a
# PNG or SVG merge (drawn by one process or several), and a CUPS queue before
# and after the job is sent. Each ends with exit code 128 + the signal's number
# and a message, every temporary file and folder removed, an earlier output of
# the same name untouched, and a job already sent left in its queue.
# Environment: MIVORA (the program), MIVORA_SOURCE_DIR.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/test_lib.sh"
enter_work_folder
chmod 755 "$work"
export TMPDIR=$work/tmp
mkdir "$TMPDIR"

# A merge long enough to be caught in the middle: a thousand records.
layout merge.json '{"commands": [
  {"op": "AddText", "name": "Name", "text": "{Name} lives at {Street}", "left": 1, "top": 1, "width": 12, "height": 2, "wordWrap": true},
  {"op": "AddText", "name": "Note", "text": "{Note}", "left": 1, "top": 4, "width": 12, "height": 12, "wordWrap": true}]}'
python3 - >records.csv <<'PY'
import csv, sys
w = csv.writer(sys.stdout, lineterminator="\n")
w.writerow(["Name", "Street", "Note"])
for i in range(1000):
    w.writerow([f"Person {i}", f"{i} Long Street", " ".join(f"word{j}" for j in range(i % 50, i % 50 + 120))])
PY

# started PATTERN PID: waits (up to 60 s) until a file matching PATTERN (hidden
# ones too) exists while process PID runs; fails when the process ends first.
shopt -s dotglob
started() {
  local pattern=$1 pid=$2
  for _ in $(seq 600); do
    compgen -G "$pattern" >/dev/null && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# listing: every file here (hidden ones too) with its checksum, but the inputs.
listing() {
  find . \( -path ./tmp -o -path ./cups \) -prune -o -type f ! -name merge.json ! -name records.csv ! -name stderr.txt \
    ! -name listing-before.txt -print0 | sort -z | xargs -0 -r md5sum
  find . -mindepth 1 \( -path ./tmp -o -path ./cups \) -prune -o -type d -print | sort
}

# interrupt NAME SIGNAL CODE PATTERN ARGS...: runs mivora print ARGS in the
# background, sends SIGNAL once a file matching PATTERN appears, and checks
# the exit code CODE, the message, and that the folder is as it was before.
interrupt() {
  local name=$1 signal=$2 code=$3 pattern=$4
  shift 4
  listing >listing-before.txt
  # A shell starts background commands with SIGINT ignored: give it back.
  env --default-signal=INT,TERM,HUP "$MIVORA" print -q "$@" 2>stderr.txt &
  local pid=$!
  if ! started "$pattern" "$pid"; then
    wait "$pid"
    fail "$name: the print ended (exit $?) before $pattern appeared: $(cat stderr.txt)"
    return
  fi
  kill -s "$signal" "$pid"
  wait "$pid"
  local rc=$?
  [ "$rc" -eq "$code" ] || fail "$name: exit code $rc, expected $code ($(cat stderr.txt))"
  grep -qF "mivora: interrupted ($signal)" stderr.txt || fail "$name: message: $(cat stderr.txt)"
  listing | diff listing-before.txt - >/dev/null ||
    fail "$name: the folder changed: $(listing | diff listing-before.txt -)"
  [ -z "$(ls -A "$TMPDIR")" ] || fail "$name: temporary files left in TMPDIR: $(ls -A "$TMPDIR")"
}

# --- A PDF file: the hidden temporary file beside it goes, the earlier file stays.
echo earlier >out.pdf
interrupt "PDF, SIGINT" SIGINT 130 ".out.pdf.*.part" merge.json --data records.csv -o out.pdf
interrupt "PDF, SIGTERM" SIGTERM 143 ".out.pdf.*.part" merge.json --data records.csv -o out.pdf
interrupt "PDF, SIGHUP" SIGHUP 129 ".out.pdf.*.part" merge.json --data records.csv -o out.pdf
grep -qF "nothing written" stderr.txt || fail "PDF: the message does not say nothing was written: $(cat stderr.txt)"

# --- PNG and SVG merges: the private folder of pages goes, earlier pages stay.
"$MIVORA" print -q merge.json --data <(csv_head records.csv 4) -o out.png --dpi 30 2>stderr.txt ||
  fail "earlier PNG run: $(cat stderr.txt)"
[ -f out-001.png ] && [ -f out-003.png ] || fail "earlier PNG run: pages missing: $(ls)"
interrupt "PNG merge, SIGINT" SIGINT 130 ".out.mivora-*/*" merge.json --data records.csv -o out.png --dpi 30
interrupt "PNG merge in one process, SIGTERM" SIGTERM 143 ".out.mivora-*/.*.part" \
  merge.json --data records.csv -o out.png --dpi 30 --jobs 1
interrupt "PNG merge in three processes, SIGHUP" SIGHUP 129 ".out.mivora-*/*/.*.part" \
  merge.json --data records.csv -o out.png --dpi 30 --jobs 3
interrupt "SVG merge, SIGINT" SIGINT 130 ".out.mivora-*/*/.*.part" merge.json --data records.csv -o out.svg --jobs 2

# A second signal ends the command at once, the temporaries removed all the same.
listing >listing-before.txt
env --default-signal=INT "$MIVORA" print -q merge.json --data records.csv -o out.svg --jobs 1 2>stderr.txt &
pid=$!
if started ".out.mivora-*/.*.part" "$pid"; then
  kill -s INT "$pid"
  kill -s INT "$pid"
  wait "$pid"
  rc=$?
  [ "$rc" -eq 130 ] || fail "second SIGINT: exit code $rc, expected 130 ($(cat stderr.txt))"
  grep -qF "mivora: interrupted (SIGINT)" stderr.txt || fail "second SIGINT: message: $(cat stderr.txt)"
  listing | diff listing-before.txt - >/dev/null || fail "second SIGINT: the folder changed: $(ls -A)"
else
  wait "$pid"
  fail "second SIGINT: the print ended before its pages appeared"
fi

# --- A CUPS queue, when a server can be started here.
if [ -x /usr/sbin/cupsd ] && command -v lpadmin >/dev/null; then
  base=$work/cups
  mkdir "$base"
  cupspid=$("$here/private-cupsd" start "$base") || fail "cupsd did not start"
  export CUPS_SERVER=$base/state/cups.sock
  trap '[ -n "${cupspid:-}" ] && "$here/private-cupsd" stop "$base" "$cupspid"; rm -rf "$work"' EXIT
  "$here/private-cupsd" queue "$base" TESTQ "$base/out/page.pdf" 2>/dev/null || fail "no queue"

  # Before the job is sent: its temporary folder goes, the queue gets nothing.
  interrupt "queue, SIGINT while drawing" SIGINT 130 "tmp/mivora-job-*/.*.part" \
    merge.json --data records.csv -P TESTQ --queue-paper
  [ -z "$(lpstat -o TESTQ 2>/dev/null)" ] || fail "queue: an interrupted job was sent: $(lpstat -o TESTQ)"
  cancel -a TESTQ 2>/dev/null

  # After it is sent, while the command waits for it (held by the server): the
  # job stays in the queue, and the message says so.
  layout one.json '{"commands": [{"op": "AddText", "name": "T", "text": "Held", "left": 1, "top": 1, "width": 5, "height": 2}]}'
  "$MIVORA" print one.json -P TESTQ --queue-paper -o job-hold-until=indefinite 2>stderr.txt &
  pid=$!
  for _ in $(seq 300); do
    [ -n "$(lpstat -o TESTQ 2>/dev/null)" ] && break
    sleep 0.1
  done
  sleep 0.5
  kill -s TERM "$pid"
  wait "$pid"
  rc=$?
  [ "$rc" -eq 143 ] || fail "queue, SIGTERM while waiting: exit code $rc, expected 143 ($(cat stderr.txt))"
  grep -qE "mivora: interrupted \(SIGTERM\): job [0-9]+ was sent to printer queue \"TESTQ\" and stays there" stderr.txt ||
    fail "queue, SIGTERM while waiting: message: $(cat stderr.txt)"
  [ -n "$(lpstat -o TESTQ 2>/dev/null)" ] || fail "queue, SIGTERM while waiting: the job was cancelled"
  [ -z "$(ls -A "$TMPDIR")" ] || fail "queue: temporary files left in TMPDIR: $(ls -A "$TMPDIR")"
  cancel -a TESTQ 2>/dev/null
else
  echo "cupsd or lpadmin is not installed: the queue cases are skipped"
fi

finish "interrupts: temporaries removed, earlier outputs kept, exit codes 129, 130 and 143"

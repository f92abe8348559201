#!/usr/bin/env bash
# The mivora command against a real, private CUPS server: its own configuration,
# spool and socket under a temporary folder, and a queue whose file: device
# writes what it prints. Skipped (exit 77) when cupsd is not installed.
# Environment: MIVORA (the program), MIVORA_SOURCE_DIR.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/test_lib.sh"
if [ ! -x /usr/sbin/cupsd ] || ! command -v lpadmin >/dev/null; then
  echo "cupsd or lpadmin is not installed: skipped"
  exit 77
fi

base=$(mktemp -d)
chmod 755 "$base"  # the filters run as user lp and must reach the spool
pid=
cleanup() {
  [ -n "$pid" ] && "$here/private-cupsd" stop "$base" "$pid"
  rm -rf "$base"
}
trap cleanup EXIT
pid=$("$here/private-cupsd" start "$base") || exit 1
export CUPS_SERVER=$base/state/cups.sock
"$here/private-cupsd" queue "$base" TESTQ "$base/out/page.pdf" 2>/dev/null || exit 1
# OFFICE: Letter (its default), A4 and 4 x 6 in, two-sided printing, two trays.
"$here/private-cupsd" queue "$base" OFFICE "$base/out/office.pdf" \
  "$MIVORA_SOURCE_DIR/tests/data/test-printer.ppd" || exit 1
cd "$base" || exit 1

# job_attributes ID: what the server recorded for job ID. ipptool ignores
# CUPS_SERVER, so the socket path goes into the URI.
job_attributes() {
  ipptool -tv "ipp://${CUPS_SERVER//\//%2F}/jobs/$1" get-job-attributes.test 2>/dev/null
}
# job_id OUTPUT: the job id in the command's "QUEUE-ID: ..." line.
job_id() { sed -n 's/^[A-Za-z0-9_]*-\([0-9]*\):.*/\1/p' "$1"; }

# The queues are listed with their paper and printable area.
"$MIVORA" printers >printers.txt 2>&1 || fail "mivora printers failed: $(cat printers.txt)"
grep -q "^TESTQ" printers.txt || fail "TESTQ not listed: $(cat printers.txt)"
grep -q "printable area: 203.2 x 254 mm (margins left 6.35, top 12.7" printers.txt ||
  fail "no printable area: $(cat printers.txt)"

# A 4 x 6 in shipping label whose text starts at the printable area's corner.
cat >label.json <<'LAYOUT'
{ "title": "Shipping label", "printer": { "paper": { "width": 101.6, "height": 152.4 }, "resolution": 300 },
  "measurement": "centimeters",
  "commands": [ { "op": "SetAlignment", "value": "left" },
    { "op": "AddText", "name": "To", "text": "SHIP TO: Jane Doe", "left": 0, "top": 0, "width": 8, "height": 1 } ] }
LAYOUT
printf 'To\nAda\nBob\nCy\n' >three.csv

# A page printed through -P: the command waits until the job completed, so
# the queue's file is there at once.
"$MIVORA" print "$examples/invoice/invoice.json" -P TESTQ --title "Job from the test" 2>stderr.txt ||
  fail "printing to TESTQ failed: $(cat stderr.txt)"
[ -s out/page.pdf ] || fail "the queue wrote nothing"
pdftotext out/page.pdf page.txt 2>/dev/null
grep -q "INVOICE" page.txt || fail "the printed page does not read INVOICE"
grep -q "GBP 293.76" page.txt || fail "the printed page lacks the total"
# The page keeps the layout's paper, A4, which the queue has.
pdfinfo out/page.pdf | grep -q "Page size: *595.* x 84[12]" ||
  fail "the page is not on the layout's A4: $(pdfinfo out/page.pdf | grep 'Page size')"
# The job carries the title. The server keeps it in the job's control file,
# written at once with DirtyCleanInterval 0 (private-cupsd).
grep -q "Job from the test" spool/c* 2>/dev/null || fail "no job is titled \"Job from the test\""

# A merge goes to the queue as one job of one page per record.
rm -f out/page.pdf
"$MIVORA" print label.json --data three.csv -P TESTQ --queue-paper -q 2>stderr.txt || fail "the merge to TESTQ failed: $(cat stderr.txt)"
[ "$(pages out/page.pdf)" = 3 ] || fail "the merged job is not 3 pages"

# A queue that does not exist is named, with the queues that do.
"$MIVORA" print label.json -P NOSUCHQ 2>stderr.txt
[ $? -eq 3 ] || fail "a missing queue did not exit with 3"
grep -q 'Printer queue "NOSUCHQ" does not exist on the CUPS server at .*; the queues are OFFICE, TESTQ' stderr.txt ||
  fail "missing queue message: $(cat stderr.txt)"

# A queue that rejects jobs, and one that is stopped.
cupsreject -r "paper jam drill" TESTQ
rm -f out/page.pdf
"$MIVORA" print label.json -P TESTQ --queue-paper 2>stderr.txt
[ $? -eq 3 ] || fail "a rejecting queue did not exit with 3"
grep -q 'Printer queue "TESTQ" is not accepting jobs (paper jam drill)' stderr.txt || fail "reject message: $(cat stderr.txt)"
cupsaccept TESTQ
cupsdisable -r "maintenance" TESTQ
"$MIVORA" print label.json -P TESTQ --queue-paper 2>stderr.txt
[ $? -eq 3 ] || fail "a stopped queue did not exit with 3"
grep -q 'Printer queue "TESTQ" is stopped (paused; maintenance)' stderr.txt || fail "stopped message: $(cat stderr.txt)"
[ -e out/page.pdf ] && fail "a refused job was printed"
cupsenable TESTQ

# Bad input is still bad input when a queue is named.
echo '{"commands": [' >broken.json
"$MIVORA" print broken.json -P TESTQ 2>stderr.txt
[ $? -eq 2 ] || fail "a broken layout for a queue did not exit with 2"

# The listing names each queue's sizes, sides and trays; one queue in full
# gives each size with its printable area and the further options.
"$MIVORA" printers >printers.txt 2>&1 || fail "mivora printers failed: $(cat printers.txt)"
grep -q "^  sizes: .*na_index-4x6_4x6in.*iso_a4_210x297mm.*na_letter_8.5x11in" printers.txt ||
  fail "OFFICE's sizes not listed: $(cat printers.txt)"
grep -q "^  sides: one-sided, two-sided-long-edge, two-sided-short-edge (default one-sided)" printers.txt ||
  fail "OFFICE's sides not listed: $(cat printers.txt)"
grep -q "^  trays: tray-1, tray-2" printers.txt || fail "OFFICE's trays not listed: $(cat printers.txt)"
"$MIVORA" printers office >office.txt 2>&1 || fail "mivora printers office failed: $(cat office.txt)"
grep -q "^OFFICE: idle" office.txt && ! grep -q "^TESTQ" office.txt || fail "not OFFICE alone: $(cat office.txt)"
grep -q "na_index-4x6_4x6in: 101.6 x 152.4 mm, printable 95.24 x 146 mm (margins left 3.18, top 3.18" office.txt ||
  fail "no printable area of 4 x 6 in: $(cat office.txt)"
grep -q "^  output-bin: face-down" office.txt || fail "no further options: $(cat office.txt)"

# Copies, sides, collation, tray and a further option as the server records them.
"$MIVORA" print "$examples/invoice/invoice.json" -P OFFICE -n 2 --sides two-sided-long-edge --collate \
  --media-source tray-2 -o print-color-mode=monochrome >stdout.txt 2>stderr.txt ||
  fail "printing with job options failed: $(cat stderr.txt)"
job_attributes "$(job_id stdout.txt)" >job.txt
for expected in "copies (integer) = 2" "sides (keyword) = two-sided-long-edge" "collate (boolean) = true" \
  "media (keyword) = iso_a4_210x297mm" "media-source (keyword) = tray-2" "print-color-mode (keyword) = monochrome"; do
  grep -q "$expected" job.txt || fail "the job lacks \"$expected\": $(grep -E 'copies|sides|media|collate' job.txt)"
done
pdftotext out/office.pdf - | grep -q "INVOICE" || fail "OFFICE did not print the invoice"

# A 4 x 6 in label asks for that size and prints on it, with the queue's
# printable area for it; -o copies=3 is the copies setting, as with lp.
"$MIVORA" print label.json -P OFFICE -o copies=3 >stdout.txt 2>stderr.txt || fail "the label failed: $(cat stderr.txt)"
[ -s stderr.txt ] && fail "the label printed with a warning: $(cat stderr.txt)"
pdfinfo out/office.pdf | grep -q "Page size: *288 x 432" || fail "the label is not 4 x 6 in: $(pdfinfo out/office.pdf)"
job_attributes "$(job_id stdout.txt)" >job.txt
grep -q "media (keyword) = na_index-4x6_4x6in" job.txt || fail "the label did not ask for 4 x 6 in"
grep -q "copies (integer) = 3" job.txt || fail "-o copies=3 was not the job's copies"
# The text's cell starts at the printable area's corner, an eighth of an inch in.
# It lies where a PDF of the layout with the queue's margins (3.18 mm) puts it.
first_word_x() { pdftotext -bbox "$1" - | sed -n 's/.*<word xMin="\([0-9.]*\)" yMin="\([0-9.]*\)".*>SHIP<.*/\1 \2/p' | head -1; }
sed 's/"resolution": 300/"resolution": 300, "margins": 3.18/' label.json >label-margins.json
"$MIVORA" print label-margins.json -o label-margins.pdf 2>stderr.txt || fail "the label as a PDF failed: $(cat stderr.txt)"
[ "$(first_word_x out/office.pdf)" = "$(first_word_x label-margins.pdf)" ] ||
  fail "the label's text lies at $(first_word_x out/office.pdf) on the queue, at $(first_word_x label-margins.pdf) in the PDF"

# A paper the queue does not have is refused before anything is sent, naming
# the sizes it has; --media and --queue-paper choose one of them.
sed 's/"width": 101.6, "height": 152.4/"width": 148, "height": 210/' label.json >a5.json
rm -f out/office.pdf
jobs_before=$(lpstat -W all -o OFFICE | wc -l)
"$MIVORA" print a5.json -P OFFICE >stdout.txt 2>stderr.txt
[ $? -eq 3 ] || fail "an A5 page on OFFICE did not exit with 3"
grep -q 'Printer queue "OFFICE" has no paper of 148 x 210 mm; its sizes are na_index-4x6_4x6in (101.6 x 152.4 mm), iso_a4_210x297mm (209.9 x 297.04 mm), na_letter_8.5x11in (215.9 x 279.4 mm). Choose one with --media NAME, or lay out on the queue.s default paper with --queue-paper' stderr.txt ||
  fail "unsupported size message: $(cat stderr.txt)"
[ "$(lpstat -W all -o OFFICE | wc -l)" = "$jobs_before" ] || fail "a job was sent for an unsupported size"
"$MIVORA" print a5.json -P OFFICE --queue-paper >stdout.txt 2>stderr.txt || fail "--queue-paper failed: $(cat stderr.txt)"
pdfinfo out/office.pdf | grep -q "Page size: *612 x 792" || fail "--queue-paper did not print on Letter"
grep -q "prints on the paper chosen for the job (215.9 x 279.4 mm); the layout's paper is not used" stderr.txt ||
  fail "no warning that the layout's paper is not used: $(cat stderr.txt)"
"$MIVORA" print a5.json -P OFFICE --media 4x6 >stdout.txt 2>stderr.txt || fail "--media 4x6 failed: $(cat stderr.txt)"
pdfinfo out/office.pdf | grep -q "Page size: *288 x 432" || fail "--media 4x6 did not print on 4 x 6 in"
"$MIVORA" print a5.json -P OFFICE --media A3 2>stderr.txt
[ $? -eq 3 ] || fail "--media A3 did not exit with 3"
grep -q 'Printer queue "OFFICE" has no paper "A3"; its sizes are na_index-4x6_4x6in' stderr.txt ||
  fail "unknown media message: $(cat stderr.txt)"

# Option values the queue does not offer are refused with those it does.
"$MIVORA" print label.json -P OFFICE --media-source tray-9 2>stderr.txt
[ $? -eq 3 ] || fail "an unknown tray did not exit with 3"
grep -q 'Printer queue "OFFICE" has no paper source (tray) "tray-9"; its sources are tray-1, tray-2' stderr.txt ||
  fail "unknown tray message: $(cat stderr.txt)"
"$MIVORA" print label.json -P OFFICE -o output-bin=face-up 2>stderr.txt
[ $? -eq 3 ] || fail "an unknown output bin did not exit with 3"
grep -q 'Printer queue "OFFICE" does not take output-bin "face-up"; it takes face-down' stderr.txt ||
  fail "unknown option value message: $(cat stderr.txt)"
"$MIVORA" print label.json -P OFFICE -n 10000 2>stderr.txt
[ $? -eq 3 ] || fail "10000 copies did not exit with 3"
grep -q 'cannot print 10000 copies; it prints 1 to 9999' stderr.txt || fail "copies message: $(cat stderr.txt)"
"$MIVORA" print label.json -P OFFICE -o out.pdf 2>stderr.txt
[ $? -eq 2 ] || fail "-o FILE with -P did not exit with 2"
"$MIVORA" print label.json --sides two-sided-long-edge -o label.pdf 2>stderr.txt
[ $? -eq 2 ] || fail "--sides without -P did not exit with 2"
grep -q -- "--sides is a job option of a CUPS queue: add -P QUEUE" stderr.txt || fail "sides message: $(cat stderr.txt)"

# The commands of docs/printing.md, with its label, against OFFICE.
mkdir docs && cd docs || exit 1
python3 - "$MIVORA_SOURCE_DIR/docs/printing.md" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
open("label.json", "w").write(re.search(r"```json\n(.*?)```", text, re.S).group(1))
commands = re.search(r"```sh\n(.*?)```", text, re.S).group(1)
open("commands.txt", "w").write("".join(line.split("  #")[0].rstrip() + "\n" for line in commands.splitlines()))
PY
[ "$(wc -l <commands.txt)" -ge 6 ] || fail "docs/printing.md has too few commands"
while read -r program arguments; do
  [ "$program" = mivora ] || { fail "docs/printing.md runs $program"; continue; }
  # shellcheck disable=SC2086  # the arguments are words, as the document shows them
  "$MIVORA" $arguments >out.txt 2>&1 || fail "docs/printing.md: mivora $arguments failed: $(cat out.txt)"
done <commands.txt
cd "$base" || exit 1

# A server that stops answering mid-job: the command gives up within its
# timeout, exits with 3, and does not report the job as printed.
queued_before=$(lpstat -o OFFICE 2>/dev/null | wc -l)
"$MIVORA" print label.json -P OFFICE --timeout 3 -o job-hold-until=indefinite >stdout.txt 2>stderr.txt &
command_pid=$!
# Stop the server once the job is queued, however long a loaded machine takes
# to get there, so that the command is waiting on the job's state.
for _ in $(seq 300); do
  [ "$(lpstat -o OFFICE 2>/dev/null | wc -l)" -gt "$queued_before" ] && break
  kill -0 "$command_pid" 2>/dev/null || break
  sleep 0.1
done
sleep 0.2
kill -STOP "$pid"
started=$(date +%s%N)
wait "$command_pid"
status=$?
waited_ms=$((($(date +%s%N) - started) / 1000000))
kill -CONT "$pid"
[ $status -eq 3 ] || fail "a stopped server did not exit with 3 (got $status)"
# Bounded, not timed: without the bound the command waits for ever; the slack
# covers a loaded machine and the sanitizer build.
[ "$waited_ms" -le 10000 ] || fail "the command waited $waited_ms ms for a stopped server with --timeout 3"
grep -q "printed\|queued" stdout.txt && fail "a job was reported for a stopped server: $(cat stdout.txt)"
grep -q 'The CUPS server at .* did not answer within 3 s while waiting for job [0-9]* on printer queue "OFFICE"; the job may still print' stderr.txt ||
  fail "stopped server message: $(cat stderr.txt)"
cancel -a OFFICE

# A queue stopped while the command waits for its job: the job is cancelled
# and the reason given.
queued_before=$(lpstat -o OFFICE 2>/dev/null | wc -l)
"$MIVORA" print label.json -P OFFICE --timeout 30 -o job-hold-until=indefinite >stdout.txt 2>stderr.txt &
command_pid=$!
for _ in $(seq 300); do
  [ "$(lpstat -o OFFICE 2>/dev/null | wc -l)" -gt "$queued_before" ] && break
  sleep 0.1
done
cupsdisable -r "toner out" OFFICE
wait "$command_pid"
status=$?
cupsenable OFFICE
[ $status -eq 3 ] || fail "a queue stopped mid-job did not exit with 3 (got $status)"
grep -q 'Printer queue "OFFICE" stopped (paused; toner out) before job [0-9]* was printed; the job was cancelled' stderr.txt ||
  fail "queue stopped mid-job message: $(cat stderr.txt)"
[ -z "$(lpstat -o OFFICE 2>/dev/null)" ] || fail "the job of a queue stopped mid-job was not cancelled"

# Stopped before the job: the first question already times out.
kill -STOP "$pid"
"$MIVORA" printers --timeout 1 2>stderr.txt
status=$?
"$MIVORA" print label.json -P OFFICE --timeout 1 2>stderr2.txt
status2=$?
kill -CONT "$pid"
[ $status -eq 3 ] && [ $status2 -eq 3 ] || fail "a stopped server did not exit with 3 ($status, $status2)"
cat stderr.txt stderr2.txt >both.txt
[ "$(grep -c 'did not answer within 1 s while listing its printer queues' both.txt)" = 2 ] ||
  fail "stopped server messages: $(cat both.txt)"

# No server: the message names the server tried and how to choose another.
CUPS_SERVER=$base/state/none.sock "$MIVORA" printers 2>stderr.txt
[ $? -eq 3 ] || fail "no server did not exit with 3"
grep -q "Cannot reach the CUPS server at $base/state/none.sock (no such socket). Is it running? Start it (cupsd), or name a running server with CUPS_SERVER" stderr.txt ||
  fail "no server message: $(cat stderr.txt)"

finish "printing through CUPS works"

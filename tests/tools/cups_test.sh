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
cd "$base" || exit 1

# The queue is listed with its paper and printable area.
"$MIVORA" printers >printers.txt 2>&1 || fail "mivora printers failed: $(cat printers.txt)"
grep -q "^TESTQ" printers.txt || fail "TESTQ not listed: $(cat printers.txt)"
grep -q "printable area: [0-9.]* x [0-9.]* mm" printers.txt || fail "no printable area: $(cat printers.txt)"

# A page printed through -P: the command waits until the job completed, so
# the queue's file is there at once.
"$MIVORA" print "$examples/invoice/invoice.json" -P TESTQ --title "Job from the test" 2>stderr.txt ||
  fail "printing to TESTQ failed: $(cat stderr.txt)"
[ -s out/page.pdf ] || fail "the queue wrote nothing"
pdftotext out/page.pdf page.txt 2>/dev/null
grep -q "INVOICE" page.txt || fail "the printed page does not read INVOICE"
grep -q "GBP 293.76" page.txt || fail "the printed page lacks the total"
# The page took the queue's paper (Letter with this driver's default).
pdfinfo out/page.pdf | grep -q "Page size: *612 x 792" || fail "the page is not on the queue's paper"
# The job carries the title. The server keeps it in the job's control file,
# written at once with DirtyCleanInterval 0 (private-cupsd).
grep -q "Job from the test" spool/c* 2>/dev/null || fail "no job is titled \"Job from the test\""

# A merge goes to the queue as one job of one page per record.
rm -f out/page.pdf
csv_head "$examples/labels/addresses.csv" 4 >three.csv
cp "$examples/labels/labels.json" .
"$MIVORA" print labels.json --data three.csv -P TESTQ -q 2>stderr.txt || fail "the merge to TESTQ failed: $(cat stderr.txt)"
[ "$(pages out/page.pdf)" = 3 ] || fail "the merged job is not 3 pages"

# A queue that does not exist is named, with the queues that do.
"$MIVORA" print labels.json -P NOSUCHQ 2>stderr.txt
[ $? -eq 3 ] || fail "a missing queue did not exit with 3"
grep -q 'Printer queue "NOSUCHQ" does not exist on the CUPS server at .*; the queues are TESTQ' stderr.txt ||
  fail "missing queue message: $(cat stderr.txt)"

# A queue that rejects jobs, and one that is stopped.
cupsreject -r "paper jam drill" TESTQ
rm -f out/page.pdf
"$MIVORA" print labels.json -P TESTQ 2>stderr.txt
[ $? -eq 3 ] || fail "a rejecting queue did not exit with 3"
grep -q 'Printer queue "TESTQ" is not accepting jobs (paper jam drill)' stderr.txt || fail "reject message: $(cat stderr.txt)"
cupsaccept TESTQ
cupsdisable -r "maintenance" TESTQ
"$MIVORA" print labels.json -P TESTQ 2>stderr.txt
[ $? -eq 3 ] || fail "a stopped queue did not exit with 3"
grep -q 'Printer queue "TESTQ" is stopped (paused; maintenance)' stderr.txt || fail "stopped message: $(cat stderr.txt)"
[ -e out/page.pdf ] && fail "a refused job was printed"
cupsenable TESTQ

# Bad input is still bad input when a queue is named.
echo '{"commands": [' >broken.json
"$MIVORA" print broken.json -P TESTQ 2>stderr.txt
[ $? -eq 2 ] || fail "a broken layout for a queue did not exit with 2"

finish "printing through CUPS works"

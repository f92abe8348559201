# What the shell tests of the mivora command share; sourced by each, not run.
# Environment: MIVORA (the program), MIVORA_SOURCE_DIR.

: "${MIVORA:?the mivora program}"
: "${MIVORA_SOURCE_DIR:?the source folder}"
examples=$MIVORA_SOURCE_DIR/examples
failures=0

# fail MESSAGE...: reports a failed check and goes on; finish counts them.
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# finish MESSAGE: exits 1 when a check failed, else says MESSAGE.
finish() {
  if [ "$failures" -gt 0 ]; then
    echo "$failures failure(s)" >&2
    exit 1
  fi
  echo "$1"
}

# enter_work_folder: makes a temporary folder $work, removed on exit, and enters it.
enter_work_folder() {
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  cd "$work" || exit 1
}

# pages PDF: the number of pages of PDF (empty when it is not one).
pages() { pdfinfo "$1" 2>/dev/null | awk '/^Pages:/ {print $2}'; }

# csv_head FILE COUNT: the first COUNT records of the CSV FILE (its header
# included), written out again.
csv_head() {
  python3 - "$1" "$2" <<'PY'
import csv, sys
rows = list(csv.reader(open(sys.argv[1], newline="", encoding="utf-8")))
w = csv.writer(sys.stdout, lineterminator="\n")
for row in rows[:int(sys.argv[2])]:
    w.writerow(row)
PY
}

# expect NAME CODE MESSAGE ARGS...: runs mivora ARGS, wants exit CODE, MESSAGE
# somewhere in standard error, and no out.* file written.
expect() {
  local name=$1 code=$2 message=$3
  shift 3
  rm -f out.* out-*.*
  "$MIVORA" "$@" >stdout.txt 2>stderr.txt
  local rc=$?
  [ "$rc" -eq "$code" ] || fail "$name: exit code $rc, expected $code ($(cat stderr.txt))"
  grep -qF -- "$message" stderr.txt || fail "$name: message \"$message\" not in: $(cat stderr.txt)"
  if [ "$code" -ne 0 ] && compgen -G "out*" >/dev/null; then fail "$name: output written: $(ls out*)"; fi
  if [ "$code" -ne 0 ] && compgen -G ".out*" >/dev/null; then fail "$name: temporary left: $(ls -a)"; fi
}

# layout FILE JSON: writes a layout file.
layout() { printf '%s\n' "$2" >"$1"; }

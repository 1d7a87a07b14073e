#!/usr/bin/env bash
# A source that is still being written: every record read so far reaches the target before the
# program waits for more input, whether it was converted within a block of records or line by
# line, and the document is whole once the source ends.
Bin=${1:?usage: $0 PATH_TO_QUILLON}
Bin=$(cd "$(dirname "$Bin")" && pwd)/$(basename "$Bin")
Fail=0
Work=$(mktemp -d) || exit 1
Run=
trap '[ -n "$Run" ] && kill "$Run" 2>/dev/null; rm -rf "$Work"' EXIT
cd "$Work" || exit 1

fail() {
  echo "FAIL: $*"
  Fail=1
}
# Waits up to 20 s for the target to hold the line.
awaitLine() { # NAME LINE
  for _ in $(seq 200); do
    grep -qxF -- "$2" target.xml 2>/dev/null && return 0
    sleep 0.1
  done
  fail "$1: no line '$2' while the source waits; target: $(tail -c 300 target.xml 2>/dev/null)"
}

mkfifo source
# through standard output: a named target file appears only once the document is complete
"$Bin" -s:source -t:- >target.xml 2>err &
Run=$!
exec 3<>source # opened both ways, so that the open cannot wait for the program
# a block of ordinary records
{
  printf 'a;b\r\n'
  for I in $(seq 1 500); do printf '%d;plain\r\n' "$I"; done
} >&3
awaitLine "a block of ordinary records" "          <a>500</a>"
# records that go line by line: a line break inside quotation, a misplaced quotation mark
printf '"x\ny";1\n' >&3
awaitLine "a record joined from two lines" "          <b>1</b>"
printf '"a"b;2\n' >&3
awaitLine "a record with a misplaced quotation mark" "          <b>2</b>"
printf '3;last' >&3
exec 3>&-
wait "$Run"
Status=$?
Run=
[ "$Status" = 0 ] || fail "exit status $Status, want 0: $(cat err)"
grep -qxF "          <a>3</a>" target.xml || fail "the last line without a line feed is missing"
grep -qF "<!-- 503 records written -->" target.xml || fail "not 503 records: $(tail -c 200 target.xml)"

[ "$Fail" -eq 0 ] && echo "waiting source: all passed"
exit "$Fail"

#!/usr/bin/env bash
# Gigabyte lines without a line feed, and sources of separators or empty lines only, finish in
# bounded time and memory, with the over-long-line warning, and the run recovers on the next line.
set -u
. "$(dirname "$0")/hostile_common.sh"

Big=1G
Lines=1G
if [ "$Sanitized" -eq 1 ]; then
  Lines=128M # a sanitizer build takes about six times longer per line
fi
Warning1="Warning : line size exceeds 100000 characters..."
Warning2="          ignoring line 1 !"

# 1 GB of one byte and no line feed after the header, through a pipe, then one good record.
mkfifo feed
{ printf 'a;b\n'; head -c "$Big" /dev/zero | tr '\0' x; printf '\n1;2\n'; } >feed &
runBounded 120 feed -s:- -t:long.xml
wait
expectStatus "long line" 0 "$Status"
expectBounded "long line"
expectLine "long line" err "$Warning1"
expectLine "long line" err "$Warning2"
[ "$(recordsWritten long.xml)" = 1 ] || fail "long line: the record after it is lost"
expectLine "long line" long.xml "          <b>2</b>"
wellFormed "long line" long.xml

# 1 GB of separators and no line feed after the header, as a regular file.
{ printf 'a;b\n'; head -c "$Big" /dev/zero | tr '\0' ';'; } >separators.csv
runBounded 120 /dev/null -s:separators.csv -t:separators.xml
expectStatus "separator line" 0 "$Status"
expectBounded "separator line"
expectLine "separator line" err "$Warning1"
expectLine "separator line" err "$Warning2"
[ "$(recordsWritten separators.xml)" = 0 ] || fail "separator line: records written"
wellFormed "separator line" separators.xml
rm -f separators.csv

# A source that is one 1 GB line: its header cannot be read.
mkfifo single
head -c "$Big" /dev/zero | tr '\0' ';' >single 2>/dev/null &
runBounded 60 single -s:- -t:single.xml
wait
expectStatus "single line" 6 "$Status"
expectBounded "single line"
expectLine "single line" err "Error : Source file access denied..."
expectNoFile "single line" single.xml

# Empty lines (Windows line ends) only: every one is skipped, none is a record, none warns.
mkfifo lines
{ printf 'a;b\n'; yes $'\r' | head -c "$Lines"; } >lines 2>/dev/null &
runBounded 120 lines -s:- -t:lines.xml
wait
expectStatus "empty lines" 0 "$Status"
expectBounded "empty lines"
[ ! -s err ] || fail "empty lines: messages $(head -c 300 err)"
[ "$(recordsWritten lines.xml)" = 0 ] || fail "empty lines: records written"

[ "$Fail" -eq 0 ] && echo "hostile long lines: all passed (sanitized build: $Sanitized)"
exit "$Fail"

#!/usr/bin/env bash
# The conversion run end to end: exit statuses, messages, which files exist, record counts.
# Usage: run_spine_test.sh QUILLON_BINARY
set -u
Bin=$(realpath "$1")
Work=$(mktemp -d) && trap 'rm -rf "$Work"' EXIT
cd "$Work" || exit 1
Failures=0

# run ARGS...: runs quillon with stdin from ./in (if present); sets Err and Status, keeps out.
run() {
  if [ -f in ]; then "$Bin" "$@" <in >out 2>err; else "$Bin" "$@" </dev/null >out 2>err; fi
  Status=$?
  Err=$(cat err)
}
fail() { echo "FAIL: $*"; Failures=$((Failures + 1)); }
expect_status() { [ "$Status" = "$1" ] || fail "$Name: status $Status, expected $1 (stderr: $Err)"; }
expect_err() { [ "$Err" = "$1" ] || fail "$Name: stderr [$Err], expected [$1]"; }
expect_records() {
  grep -qx "<!-- $1 records written -->" "${2:-out}" || fail "$Name: expected $1 records in ${2:-out}"
}
expect_absent() { [ ! -e "$1" ] || fail "$Name: $1 should not exist"; }

Name="no arguments"
run
expect_status 1
expect_err $'Error : No options given\nuse -? option to get usage information'

Name="no source name"
run -t:x.xml
expect_status 2
expect_err "Error : Source file name is missing"
expect_absent x.xml

Name="-t with standard input"
run -s:- -t
expect_status 3
expect_err "Error : Source file name must differ from STDIN to use -t option"

printf 'a;b\n1;2\n' >ok.csv
Name="no target name"
run -s:ok.csv
expect_status 3
expect_err "Error : Target file name is missing"

Name="missing source"
run -s:missing.csv -t:x.xml
expect_status 6
expect_err $'Error : Source file access denied...\n          missing.csv: No such file or directory'
expect_absent x.xml

Name="empty source"
: >empty.csv
run -s:empty.csv -t:x.xml
expect_status 6
expect_err $'Error : Source file access denied...\n          empty.csv: the file is empty (no header line)'
expect_absent x.xml

Name="source is a directory"
mkdir srcdir
run -s:srcdir -t:x.xml
expect_status 6
expect_err $'Error : Source file access denied...\n          srcdir: Is a directory'
expect_absent x.xml

Name="empty first line"
printf '\na;b\n' >emptyhead.csv
run -s:emptyhead.csv -t:x.xml
expect_status 7
expect_err "Error : No Parameters found in file header "
expect_absent x.xml

Name="header ends inside quotes"
printf 'a;"b;c\nx"\n' >quoted.csv
echo keep >kept.xml
run -s:quoted.csv -t:kept.xml
expect_status 10
expect_err "Error : quillon does not support CR/LF in header information..."
[ "$(cat kept.xml)" = keep ] || fail "$Name: an existing target was touched"

Name="target in a missing directory"
run -s:ok.csv -t:nodir/x.xml
expect_status 9
expect_err $'Error : Target file write access denied...\n          nodir/x.xml: No such file or directory'
expect_absent nodir

Name="target is a directory"
mkdir tdir
run -s:ok.csv -t:tdir
expect_status 9
expect_err $'Error : Target file write access denied...\n          tdir: Is a directory'

Name="full disk"
run -s:ok.csv -t:/dev/full
expect_status 9
expect_err $'Error : Target file write access denied...\n          /dev/full: No space left on device'

Name="target is the source"
cp ok.csv same.csv
run -s:same.csv -t:same.csv
expect_status 9
expect_err "Error : Target file must differ from the source file..."
cmp -s ok.csv same.csv || fail "$Name: the source was changed"
ln -s same.csv link.csv
run -s:same.csv -t:link.csv
expect_status 9
cmp -s ok.csv same.csv || fail "$Name: the source was changed through a link"

Name="-t derives the target"
cp ok.csv data.csv
run -s:data.csv -t
expect_status 0
expect_records 1 data.xml

Name="header only"
printf 'a;b\n' >head.csv
run -s:head.csv -t:-
expect_status 0
expect_err ""
expect_records 0

Name="header only without line feed"
printf 'a;b' >head2.csv
run -s:head2.csv -t:-
expect_status 0
expect_records 0

Name="empty lines are no records"
printf 'a;b\n1;2\n\n\n3;4\n' >in
run -s:- -t:-
expect_status 0
expect_records 2
rm in

Name="quoted cell across lines"
printf 'a;b\n"x\ny";z\n1;2\n' >in
run -s:- -t:-
expect_status 0
expect_records 2
grep -q '^y</a>' out || fail "$Name: the joined cell lost its line feed"
rm in

Name="source ends inside quotes"
printf 'a;b\n1;2\n"open;3\nmore\n' >in
run -s:- -t:-
expect_status 0
expect_records 1
expect_err "Warning : the record starting at line 2 is not converted: its quotation never closes"
rm in

Name="inch mark open to the end"
printf 'a;b\nx;5" wide\ny;1\n' >in
run -s:- -t:-
expect_status 0
expect_records 0
expect_err "Warning : the record starting at line 1 is not converted: its quotation never closes"
rm in

Name="inch-mark warning after the record's trace, before its other warnings"
printf 'a;b\nx;5" wide\ny;1\nz;2";extra\nw;3\n' >in
run -s:- -t:- -debug
expect_status 0
expect_records 2
cat >want <<'EOF'
Debug: Reading Data Lines...
Debug: Data Line [1] => [x;5" wide]
Debug: NotLineEnd strlen(Line) strlen(InputBuffer)1 0 9
Debug: Data Line [2] => [y;1]
Debug: NotLineEnd strlen(Line) strlen(InputBuffer)1 10 3
Debug: Data Line [3] => [z;2";extra]
Debug: NotLineEnd strlen(Line) strlen(InputBuffer)0 14 10
Debug: Line = x;5" wide
y;1
z;2";extra
Warning : the record starting at line 1 spans several lines: a quotation mark inside a cell joined the following lines to it; -rfc4180 keeps such marks as they stand (later cases are not reported)
Warning : record 1 holds more cells than the header; cells beyond the header's count are not converted (later records are not reported)
Debug: Data Line [4] => [w;3]
Debug: NotLineEnd strlen(Line) strlen(InputBuffer)0 0 3
Debug: Line = w;3
Ready
EOF
sed -n '/^Debug: Reading Data Lines/,/^Ready/p' err | cmp -s - want ||
  fail "$Name: trace and warning out of order: $(sed -n '/^Debug: Reading/,/^Ready/p' err)"
rm in want

Name="separators alone are a record of empty cells"
printf 'a;b\n;\nx;y\n' >in
run -s:- -t:- -wn -m:5
expect_status 0
expect_records 2
grep -qx '     <record num="1" a="" b="" />' out || fail "$Name: ; is not record 1"
grep -qx '     <record num="2" a="x" b="y" />' out || fail "$Name: x;y was not converted on its own"
rm in

Name="quoted empty cell under one column"
printf 'a\n1\n""\n\n3\n' >in
run -s:- -t:- -wn -m:5
expect_status 0
expect_err ""
expect_records 3
grep -qx '     <record num="2" a="" />' out || fail "$Name: \"\" is not record 2"
grep -qx '     <record num="3" a="3" />' out || fail "$Name: the record after it is not number 3"
rm in

Name="over-long logical line"
{
  printf 'a;b\n1;2\n"'
  head -c 60000 /dev/zero | tr '\0' x
  printf '\n'
  head -c 60000 /dev/zero | tr '\0' y
  printf '";z\n3;4\n'
} >in
run -s:- -t:-
expect_status 0
expect_records 2
expect_err $'Warning : line size exceeds 100000 characters...\n          ignoring line 3 !'
rm in

Name="over-long physical line"
{
  printf 'a;b\n1;2\n'
  head -c 250000 /dev/zero | tr '\0' x
  printf '\n3;4\n'
} >in
run -s:- -t:-
expect_status 0
expect_records 2
expect_err $'Warning : line size exceeds 100000 characters...\n          ignoring line 2 !'
grep -q '<a>3</a>' out || fail "$Name: the line after the long one is missing"
rm in

Name="longest line kept"
{
  printf 'a;b\n'
  head -c 99997 /dev/zero | tr '\0' x
  printf ';y\n'
} >in
run -s:- -t:-
expect_status 0
expect_err ""
expect_records 1
rm in

Name="CRLF source gives the LF document"
printf 'a;b\r\n1;"2\r\nx"\r\n3;4\r\n' >in
run -s:- -t:-
sed -E 's/datetime="[^"]*"//' out >crlf.xml
printf 'a;b\n1;"2\nx"\n3;4\n' >in
run -s:- -t:-
sed -E 's/datetime="[^"]*"//' out >lf.xml
cmp -s crlf.xml lf.xml || fail "$Name: documents differ"
rm in

Name="surplus cells warned once"
printf 'a;b\n1;2;3\n4;5;;\n6;7;8\n' >in
run -s:- -t:-
expect_status 0
expect_records 3
expect_err "Warning : record 1 holds more cells than the header; cells beyond the header's count are not converted (later records are not reported)"
rm in

Name="NUL byte keeps the line whole"
printf 'a;b\nx\0y;z\n' >in
run -s:- -t:-
expect_status 0
expect_records 1
grep -q '<b>z</b>' out || fail "$Name: the cell after the NUL byte was lost"
rm in

Name="many records"
{
  printf 'n;v\n'
  seq 1 2500 | sed 's/$/;v/'
} >in
run -s:- -t:-
expect_status 0
expect_records 2500
rm in

Name="namespace prefix without URI"
run -s:ok.csv -t:- "-xmlns:p="
expect_status 0
expect_err 'Warning : namespace prefix "p" has no namespace URI and is not used'
grep -q '^     <record>' out || fail "$Name: the prefix was still written"
xmllint --noout out || fail "$Name: not well-formed"

# SOURCE_DATE_EPOCH fixes the date-time in UTC whatever the zone and the source's time; a value
# that is no number of seconds stops the run before anything is opened.
Name="SOURCE_DATE_EPOCH"
for Value in 0 1700000000 253402300799; do
  touch -d @$((Value / 2)) ok.csv
  SOURCE_DATE_EPOCH=$Value TZ=Asia/Kolkata run -s:ok.csv -t:-
  expect_status 0
  Want=$(TZ=UTC date -d "@$Value" +%Y-%m-%dT%H:%M:%S+00:00)
  grep -q "datetime=\"$Want\"" out || fail "$Name=$Value: $(sed -n 2p out), want $Want"
done
for Value in '' x 12x -5 +5 ' 5' 1.5 253402300800 99999999999999999999; do
  SOURCE_DATE_EPOCH=$Value run -s:ok.csv -t:epoch.xml
  expect_status 1
  expect_err "Error : SOURCE_DATE_EPOCH=\"$Value\" is no number of seconds since 1970-01-01 00:00:00 UTC (0 to 253402300799)"
  expect_absent epoch.xml
done

[ "$Failures" -eq 0 ] && echo "run spine: all passed"
exit "$Failures"

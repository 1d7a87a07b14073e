#!/usr/bin/env bash
# opt_exec_test.sh BINARY: configuration files that the system runs itself. Their first line
# "#!PROGRAM -exec" makes the kernel start the program with "-exec" and the file's path.
set -u
Bin=$(realpath "$1")
Sources=$(realpath "$(dirname "$0")/../..")
Work=$(mktemp -d) && trap 'rm -rf "$Work"' EXIT
cd "$Work" || exit 1
Fail=0
fail() { echo "FAIL: $*"; Fail=1; }
Abort='quillon aborts due one or more wrong options or read errors!'

# expect WHAT STATUS WANTED-STDERR: compares the last run's status and standard error
expect() {
  [ "$Status" = "$2" ] || fail "$1: status $Status, want $2"
  [ "$(cat err)" = "$3" ] || fail "$1: stderr was: $(cat err)"
}

printf 'Name;Age\nAnna;31\nBen;42\n' >people.csv

# The program named by its absolute path; comments and CR LF line ends on the way (not on the
# first line: the system would pass the carriage return on with "-exec").
printf '#!%s -exec\n# people to XML\r\n-s:people.csv\r\n-t:people.xml   # the target\r\n-alias:eRoot=people\r\n' \
  "$Bin" >people.cfg
chmod +x people.cfg
./people.cfg >out 2>err
Status=$?
expect "self-executing file" 0 ""
if [ -f people.xml ]; then
  xmllint --noout people.xml || fail "people.xml is not well-formed"
  [ "$(xmllint --xpath 'count(/people/record)' people.xml)" = 2 ] || fail "people.xml: not two records"
else
  fail "people.xml was not written"
fi
[ -s out ] && fail "standard output not empty"

# The same file named with -cfg:, a later option overriding one of its lines.
"$Bin" -cfg:people.cfg -t:other.xml 2>err
Status=$?
expect "-cfg: then -t:" 0 ""
[ -f other.xml ] || fail "-t: after -cfg: did not win"

# A bad line: every problem reported, nothing written.
printf '#!%s -exec\n-s:people.csv\n-t:bad.xml\noops\n-m:x\n-e:latin1\n' "$Bin" >bad.cfg
chmod +x bad.cfg
./bad.cfg >out 2>err
Status=$?
expect "bad lines" 1 "Error : Illegal line in Config File : \"oops\"
Error : Encoding \"latin1\" is not supported !
Error : Illegal option in Config File : \"-e:latin1\"
$Abort"
[ -e bad.xml ] && fail "bad.xml written although the options were refused"

# Extra arguments make the system pass more than -exec and the file.
./people.cfg -v >out 2>err
Status=$?
expect "extra argument" 1 "Error : -exec option must appear alone followed by an existing config file"

# Found through PATH with env -S, as installed programs are.
mkdir bin && ln -s "$Bin" bin/quillon
printf '#!/usr/bin/env -S quillon -exec\n-s:people.csv\n-t:-\n-m:5\n' >env.cfg
chmod +x env.cfg
PATH="$Work/bin:$PATH" ./env.cfg >env.xml 2>err
Status=$?
expect "env -S" 0 ""
xmllint --noout env.xml || fail "env.xml is not well-formed"
[ "$(xmllint --xpath 'string(/csv_data_records/record[2]/@Age)' env.xml)" = 42 ] ||
  fail "env.xml: mode 5 attribute missing"

# The example shipped with the sources.
(cd "$Sources" && PATH="$Work/bin:$PATH" examples/cities.cfg) >cities.xml 2>err
Status=$?
expect "examples/cities.cfg" 0 ""
xmllint --noout cities.xml || fail "cities.xml is not well-formed"
[ "$(xmllint --xpath 'count(/cities/city)' cities.xml)" = 5 ] || fail "cities.xml: not five cities"

exit $Fail

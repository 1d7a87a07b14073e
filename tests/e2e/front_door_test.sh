#!/usr/bin/env bash
# What a new user meets first: help and version as they are typed, the hint after a bare file
# name, the reason under a refused source or target, and the separator hints.
set -u
. "$(dirname "$0")/hostile_common.sh"

run() { # STDIN ARGS...: sets Status; out and err hold the streams
  local Input=$1
  shift
  "$Bin" "$@" <"$Input" >out 2>err
  Status=$?
}
expectBytes() { # NAME FILE EXPECTED: the file holds exactly the expected bytes
  printf '%s' "$3" | cmp -s - "$2" ||
    fail "$1: $2 is [$(head -c 600 "$2")], want [$3]"
}

# Help and version, each form on its own: stdout, stderr and status.
run /dev/null '-?'
cp out usage
expectStatus "-?" 0 "$Status"
[ -s usage ] || fail "-? wrote no usage text"
for Form in --help -h ' --help '; do
  run /dev/null "$Form"
  expectStatus "$Form" 0 "$Status"
  cmp -s usage out || fail "$Form: standard output differs from that of -?"
  expectBytes "$Form" err ""
done
grep -qxF -- '-h, --help this usage info too; --version  -V info and licence on STDOUT' usage ||
  fail "the usage text has no line for --help, -h and --version"
[ "$(grep -n -- '^-h, --help' usage | cut -d: -f1)" -lt \
  "$(grep -n 'You may refer the quillon.pdf' usage | cut -d: -f1)" ] ||
  fail "the --help line does not come before the pointer to the manual"

run /dev/null -V
cp err banner
expectStatus "-V" 0 "$Status"
expectBytes "-V" out ""
[ "$(wc -l <banner)" = 5 ] || fail "-V: the banner is not five lines"
run /dev/null --version
expectStatus "--version" 0 "$Status"
expectBytes "--version" err ""
head -n 5 out | cmp -s banner - || fail "--version: the first five lines are not the -V banner"
[ "$(wc -l <out)" = 6 ] || fail "--version: not the banner and one licence line: $(cat out)"
tail -n 1 out | grep -q 'MIT License' || fail "--version: the last line names no MIT License"
tail -n 1 out | grep -q '2026 the quillon developers' || fail "--version: no copyright holder"
# the banner's form that scripts capture
Version=$("$Bin" --version | sed -n 2p)
[ "${Version:0:15}" = "QUILLON V1.8.0 " ] || fail "--version in \$(...) gave [$Version]"
# later arguments are not examined, earlier ones are reported
run /dev/null -x --version -y
expectStatus "-x --version -y" 0 "$Status"
expectBytes "-x --version -y" err $'Error : Illegal option : "-x"\n'

# A bare argument: the usual rejection plus one hint line.
Hint() { printf '          the source is given as -s:%s, and quillon --help lists the options\n' "$1"; }
Abort='quillon aborts due one or more wrong options or read errors!'
run /dev/null data.csv
expectStatus "bare argument" 1 "$Status"
expectBytes "bare argument" err "Error : Illegal option : \"data.csv\"
$(Hint data.csv)
$Abort
"
expectBytes "bare argument" out ""
run /dev/null -s data.csv
expectStatus "-s FILE" 1 "$Status"
expectBytes "-s FILE" err "Error : Illegal option : \"-s\"
Error : Illegal option : \"data.csv\"
$(Hint data.csv)
$Abort
"

# Reasons under "Source file access denied..." and "Target file write access denied...".
Source='Error : Source file access denied...'
Target='Error : Target file write access denied...'
refusedWith() { # NAME STATUS EXPECTED-STDERR STDIN ARGS...
  local Name=$1 Want=$2 Text=$3 Input=$4
  shift 4
  run "$Input" "$@"
  expectStatus "$Name" "$Want" "$Status"
  expectBytes "$Name" err "$Text"
  expectNoFile "$Name" x.xml
}
refusedWith "missing source" 6 "$Source
          data.csv: No such file or directory
" /dev/null -s:data.csv -t:x.xml
: >empty.csv
refusedWith "empty source" 6 "$Source
          empty.csv: the file is empty (no header line)
" /dev/null -s:empty.csv -t:x.xml
refusedWith "empty standard input" 6 "$Source
          STDIN: standard input is empty (no header line)
" empty.csv -s:- -t:x.xml
mkdir folder
refusedWith "directory source" 6 "$Source
          folder: Is a directory
" /dev/null -s:folder -t:x.xml
# the header's limit: 99999 bytes are read, 100000 are not
head -c 99999 /dev/zero | tr '\0' h >long.csv
printf '\n1\n' >>long.csv
run /dev/null -s:long.csv -t:long.xml
expectStatus "header of 99999 bytes" 0 "$Status"
expectBytes "header of 99999 bytes" err ""
head -c 100000 /dev/zero | tr '\0' h >toolong.csv
printf '\n1\n' >>toolong.csv
refusedWith "header of 100000 bytes" 6 "$Source
          toolong.csv: the header line is longer than 99999 bytes
" /dev/null -s:toolong.csv -t:x.xml
printf 'a;b\n1;2\n' >ok.csv
refusedWith "target in a missing directory" 9 "$Target
          nodir/x.xml: No such file or directory
" /dev/null -s:ok.csv -t:nodir/x.xml
refusedWith "target on a full device" 9 "$Target
          /dev/full: No space left on device
" /dev/null -s:ok.csv -t:/dev/full
"$Bin" -s:ok.csv -t:- >/dev/full 2>err
expectStatus "standard output on a full device" 9 "$?"
expectBytes "standard output on a full device" err "$Target
          STDOUT: No space left on device
"

# The separator hint: a one-column header holding a common separator other than the one in force.
hinted() { # NAME HEADER EXPECTED-STDERR ARGS...
  local Name=$1 Header=$2 Text=$3
  shift 3
  printf '%s\nx\n' "$Header" >hint.csv
  run /dev/null -s:hint.csv -t:hint.xml "$@"
  expectStatus "$Name" 0 "$Status"
  expectBytes "$Name" err "$Text"
  [ "$(recordsWritten hint.xml)" = 1 ] || fail "$Name: the run did not go on to write its record"
}
Hinted='Warning : the header is one column: it holds no separator in force but'
hinted "comma header" 'a,b,c' "$Hinted a comma; -sep:, splits at it
"
hinted "tab header" $'a\tb' "$Hinted a tab; -sep::9: splits at it
"
hinted "bar header" 'a|b' "$Hinted a vertical bar; -sep:| splits at it
"
hinted "semicolon header" 'a;b' "$Hinted a semicolon; -sep:; splits at it
" -sep:,
# the most frequent one is named
hinted "commas and a bar" 'a|b,c,d' "$Hinted a comma; -sep:, splits at it
"
hinted "split header" 'a;b,c' ""
hinted "comma header split at commas" 'a,b' "" -sep:,
hinted "one plain column" 'name' ""
hinted "comma inside quotes" '"a,b"' "" # -sep:, would not split it either
hinted "comma outside quotes" '"a;b",c' "$Hinted a comma; -sep:, splits at it
"

# -sep: with an escape: one warning, the option still taken as it is.
printf 'a\\tb\n1\\t2\n' >escaped.csv
run /dev/null '-sep:\t' -s:escaped.csv -t:escaped.xml
expectStatus "-sep:\\t" 0 "$Status"
expectBytes "-sep:\\t" err 'Warning : -sep: reads no escapes: "\t" stands for a backslash and the letter t (a tab is -sep::9:)
'
grep -qxF '          <a>1</a>' escaped.xml || fail "-sep:\\t no longer splits at the backslash and the t"

[ "$Fail" -eq 0 ] && echo "front door: all passed"
exit "$Fail"

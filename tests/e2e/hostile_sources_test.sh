#!/usr/bin/env bash
# Sources that are no ordinary file: a directory, a FIFO, /dev/null, /dev/zero, a missing file,
# a file without read permission. None may hang, crash or leave a target behind.
set -u
. "$(dirname "$0")/hostile_common.sh"

refused() { # NAME SOURCE STATUS MESSAGE
  runBounded 30 /dev/null -s:"$2" -t:out.xml
  expectStatus "$1" "$3" "$Status"
  expectBounded "$1"
  expectLine "$1" err "$4"
  expectNoFile "$1" out.xml
}

mkdir folder
refused "directory source" folder 6 "Error : Source file access denied..."
refused "/dev/null source" /dev/null 6 "Error : Source file access denied..."
refused "missing source" missing.csv 6 "Error : Source file access denied..."
# endless bytes without a line feed: the header is over-long
refused "/dev/zero source" /dev/zero 6 "Error : Source file access denied..."

# A FIFO with a writer converts like a file.
mkfifo pipe
printf 'a;b\n1;2\n3;4\n' >pipe &
runBounded 30 /dev/null -s:pipe -t:pipe.xml
wait
expectStatus "FIFO source" 0 "$Status"
[ "$(recordsWritten pipe.xml)" = 2 ] || fail "FIFO source: not 2 records"
wellFormed "FIFO source" pipe.xml

# A FIFO whose writer goes away without writing: an empty source.
mkfifo silent
: >silent &
runBounded 30 /dev/null -s:silent -t:silent.xml
wait
expectStatus "silent FIFO source" 6 "$Status"
expectNoFile "silent FIFO source" silent.xml

# Standard input closed altogether.
timeout 30 "$Bin" -s:- -t:closed.xml <&- >out 2>err
expectStatus "closed standard input" 6 "$?"
expectNoFile "closed standard input" closed.xml

printf 'a;b\n1;2\n' >secret.csv
chmod 000 secret.csv
if [ "$(id -u)" -eq 0 ]; then
  echo "SKIP: unreadable source: running as root, permissions do not deny reading"
else
  refused "unreadable source" secret.csv 6 "Error : Source file access denied..."
fi

[ "$Fail" -eq 0 ] && echo "hostile sources: all passed"
exit "$Fail"

#!/usr/bin/env bash
# Configuration files that are binary, huge, endless, no files at all, or name themselves.
set -u
. "$(dirname "$0")/hostile_common.sh"

printf 'a;b\n1;2\n' >data.csv
Abort="quillon aborts due one or more wrong options or read errors!"

refused() { # NAME MESSAGE ARGS...
  local Name=$1 Message=$2
  shift 2
  runBounded 60 /dev/null "$@"
  expectStatus "$Name" 1 "$Status"
  expectBounded "$Name"
  expectLine "$Name" err "$Message"
  expectLine "$Name" err "$Abort"
  expectNoFile "$Name" out.xml
}

# every byte value, line feeds and Ctrl-Z among them
for I in 0 1 2 3; do
  for B in $(seq 0 255); do printf "\\$(printf '%03o' "$B")"; done
done >binary.cfg
runBounded 60 /dev/null -cfg:binary.cfg -s:data.csv -t:out.xml
expectStatus "binary configuration" 1 "$Status"
expectBounded "binary configuration"
grep -q '^Error : Illegal line in Config File : "' err || fail "binary configuration: no illegal-line message"
expectLine "binary configuration" err "$Abort"
expectNoFile "binary configuration" out.xml

# 64 MB of options and comments: applied line by line, in bounded memory
{
  printf -- '-s:data.csv\n-t:huge.xml\n'
  yes -- '-m:2 # a comment that is cut off' | head -c 64M
  printf '\n'
} >huge.cfg
runBounded 120 /dev/null -cfg:huge.cfg
expectStatus "huge configuration" 0 "$Status"
expectBounded "huge configuration"
expectLine "huge configuration" huge.xml '          <a value="1" />'

# a 16 MB line is reported with its number and skipped in bounded memory; the run converts nothing
{
  printf -- '-s:data.csv\n-t:long.xml\n-x'
  head -c 16M /dev/zero | tr '\0' y
  printf '\n-v\n'
} >long.cfg
runBounded 60 /dev/null -cfg:long.cfg
expectStatus "over-long configuration line" 1 "$Status"
expectBounded "over-long configuration line"
expectLine "over-long configuration line" err \
  "Error : Line 3 in Config File : long.cfg is too long (999 bytes at most)"
expectLine "over-long configuration line" err "$Abort"
expectNoFile "over-long configuration line" long.xml

# a file that names itself is not read again: -cfg: is no option inside a file
printf -- '-v\n-cfg:self.cfg\n' >self.cfg
refused "configuration naming itself" 'Error : Illegal option in Config File : "-cfg:self.cfg"' \
  -cfg:self.cfg -s:data.csv -t:out.xml
printf -- '#!quillon -exec\n-exec self-exec.cfg\n-s:data.csv\n-t:out.xml\n' >self-exec.cfg
refused "-exec file naming itself" 'Error : Illegal option in Config File : "-exec self-exec.cfg"' \
  -exec self-exec.cfg

# no files to read
refused "endless configuration" "Error while searching for Config file : /dev/zero" \
  -cfg:/dev/zero -s:data.csv -t:out.xml
mkfifo fifo.cfg
refused "FIFO configuration" "Error while searching for Config file : fifo.cfg" \
  -cfg:fifo.cfg -s:data.csv -t:out.xml
mkdir folder.cfg
runBounded 60 /dev/null -cfg:folder.cfg -s:data.csv -t:out.xml
expectStatus "directory configuration" 1 "$Status"
expectLine "directory configuration" err "$Abort"
expectNoFile "directory configuration" out.xml

[ "$Fail" -eq 0 ] && echo "hostile configuration files: all passed"
exit "$Fail"

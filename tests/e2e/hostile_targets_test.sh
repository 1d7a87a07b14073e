#!/usr/bin/env bash
# Targets that cannot be written, and targets that are the source under another name: exit 9,
# nothing created, and the source never truncated.
set -u
. "$(dirname "$0")/hostile_common.sh"

printf 'a;b\n1;2\n' >data.csv
cp data.csv original.csv
Denied="Error : Target file write access denied..."

refused() { # NAME MESSAGE ARGS...
  local Name=$1 Message=$2
  shift 2
  runBounded 30 /dev/null "$@"
  expectStatus "$Name" 9 "$Status"
  expectBounded "$Name"
  if [ -n "$Message" ]; then
    expectLine "$Name" err "$Message"
  else
    grep -q '^Error : ' err || fail "$Name: no error line: $(head -c 300 err)"
  fi
  cmp -s data.csv original.csv || fail "$Name: the source changed"
}

mkdir folder
refused "directory target" "$Denied" -s:data.csv -t:folder
[ -z "$(ls -A folder)" ] || fail "directory target: something was created in it"

refused "target in a missing directory" "$Denied" -s:data.csv -t:missing/out.xml
expectNoFile "target in a missing directory" missing

refused "target on a full device" "$Denied" -s:data.csv -t:/dev/full

# The source itself, by its own name and by others.
refused "target is the source" "" -s:data.csv -t:data.csv
refused "target is the source by another path" "" -s:data.csv -t:./data.csv
ln -s data.csv link.csv
refused "target is a symbolic link to the source" "" -s:data.csv -t:link.csv
ln data.csv hard.csv
refused "target is a hard link to the source" "" -s:data.csv -t:hard.csv
rm hard.csv
# -t derives data.xml from data.xml
cp data.csv data.xml
cp data.xml original.xml
runBounded 30 /dev/null -s:data.xml -t
expectStatus "derived target is the source" 9 "$Status"
cmp -s data.xml original.xml || fail "derived target is the source: the source changed"

# Nothing of these runs left a document behind.
Left=$(ls -A | grep -vxE 'data\.csv|original\.csv|folder|link\.csv|data\.xml|original\.xml|out|err|time\.out|xmllint\.err')
[ -z "$Left" ] || fail "files left behind: $Left"

[ "$Fail" -eq 0 ] && echo "hostile targets: all passed"
exit "$Fail"

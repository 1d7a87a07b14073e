#!/usr/bin/env bash
# A header of 99999 separators: 100000 columns, the widest line the reader takes. One more
# separator makes the header too long to read.
set -u
. "$(dirname "$0")/hostile_common.sh"

Separators=$(head -c 99999 /dev/zero | tr '\0' ';')
{ printf '%s\n' "$Separators"; printf 'first%sl\n' "${Separators:0:99993}"; printf '%s\n' "$Separators"; } >wide.csv
for Mode in 1 3 5; do
  runBounded 120 /dev/null -s:wide.csv -t:wide$Mode.xml -m:$Mode
  expectStatus "wide header, layout $Mode" 0 "$Status"
  expectBounded "wide header, layout $Mode"
  [ "$(recordsWritten wide$Mode.xml)" = 2 ] || fail "wide header, layout $Mode: not 2 records"
  # libxml2 checks attributes for duplicates pairwise: 100000 of them take minutes
  [ "$Mode" = 5 ] || wellFormed "wide header, layout $Mode" wide$Mode.xml
done
# layout 5: one attribute per cell, each name once
Record=$(grep -m1 '^     <record ' wide5.xml | tr ' ' '\n' | grep -c '=')
[ "$Record" = 100000 ] || fail "wide header, layout 5: $Record attributes, want 100000"
Repeated=$(grep -m1 '^     <record ' wide5.xml | tr ' ' '\n' | sed -n 's/=.*//p' | sort | uniq -d | head -3)
[ -z "$Repeated" ] || fail "wide header, layout 5: repeated attributes $Repeated"
# layout 3 writes one item line per cell
Items=$(grep -c '^          <item ' wide3.xml)
[ "$Items" = 200000 ] || fail "wide header: $Items item lines, want 200000"
grep -qF '>first</item>' wide3.xml || fail "wide header: first cell lost"
grep -qF '>l</item>' wide3.xml || fail "wide header: last cell lost"

# With -sup the empty cells vanish: only the two filled cells of the first record remain.
runBounded 120 /dev/null -s:wide.csv -t:sup.xml -m:3 -sup
expectStatus "wide header, -sup" 0 "$Status"
Items=$(grep -c '^          <item ' sup.xml)
[ "$Items" = 2 ] || fail "wide header, -sup: $Items item lines, want 2"

# 100000 separators: the header line is over-long and cannot be read.
printf ';%s\n1\n' "$Separators" >wider.csv
runBounded 60 /dev/null -s:wider.csv -t:wider.xml
expectStatus "too wide header" 6 "$Status"
expectLine "too wide header" err "Error : Source file access denied..."
expectNoFile "too wide header" wider.xml

[ "$Fail" -eq 0 ] && echo "hostile wide header: all passed"
exit "$Fail"

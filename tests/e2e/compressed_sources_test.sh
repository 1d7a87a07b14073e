#!/usr/bin/env bash
# Compressed sources convert as their plain bytes would, by name and through standard input;
# damaged ones make no document and replace no target; formats not read are refused; lines
# ended by a carriage return alone are records.
set -u
. "$(dirname "$0")/hostile_common.sh"
for Tool in gzip zstd; do
  command -v "$Tool" >/dev/null || { echo "SKIP: the $Tool command is missing"; exit 0; }
done
printf 'a;b\n' | gzip -c >probe.gz
"$Bin" -s:probe.gz -t:- >/dev/null 2>err
Status=$?
if grep -q 'this build of quillon cannot read it' err; then # a build without zlib
  expectStatus "gzip in a build without zlib" 6 "$Status"
  expectLine "gzip in a build without zlib" err \
    "          probe.gz: gzip data (built without zlib); decompress it on the way: gzip -dc probe.gz | quillon -s:- ..."
  [ "$Fail" -eq 0 ] && echo "SKIP: this build reads no compressed source; it says so"
  exit "$Fail"
fi

masked() { sed -E 's/(source|datetime)="[^"]*"//g' "$1"; }
# Three read blocks and more: CR LF line ends, line feeds inside quoted cells, Latin-1 bytes.
{
  printf 'id;name;note\r\n'
  seq 1 60000 | awk '{ printf "%d;\"n%d\nx\";caf\351 %d\r\n", $1, $1, $1 }'
} >plain.csv
"$Bin" -s:plain.csv -t:want.xml 2>/dev/null
masked want.xml >want.masked
tr '\n' '\r' <plain.csv | sed 's/\r\r/\r/g' >cr.csv
[ "$(tr -dc '\n' <cr.csv | wc -c)" = 0 ] || fail "cr.csv holds a line feed"

while IFS='|' read -r Name Make; do
  eval "$Make" >source.bin
  for Way in name stdin; do
    if [ "$Way" = name ]; then
      "$Bin" -s:source.bin -t:got.xml 2>err
    else
      "$Bin" -s:- -t:got.xml <source.bin 2>err
    fi
    expectStatus "$Name by $Way" 0 "$?"
    [ -s err ] && fail "$Name by $Way: messages $(head -c 300 err)"
    masked got.xml | cmp -s - want.masked || fail "$Name by $Way: the document differs"
  done
done <<'EOF'
gzip|gzip -c plain.csv
zstd|zstd -qc plain.csv
gzip members|head -c 700001 plain.csv | gzip -1c; tail -c +700002 plain.csv | gzip -9c
zstd frames|head -c 600000 plain.csv | zstd -qc; tail -c +600001 plain.csv | zstd -qc
carriage returns alone|cat cr.csv
carriage returns alone, gzip|gzip -c cr.csv
EOF
zstd -qc plain.csv >plain.zst
runBounded 60 /dev/null -s:plain.zst -t:/dev/null
expectBounded "zstd memory"

# Damaged data: no document, the old target kept, nothing left beside it.
printf 'the old target\n' >old.want
gzip -c plain.csv >plain.gz
Damage="Error : Compressed source file is damaged, the conversion is abandoned..."
while IFS='|' read -r Name Make First Reason; do
  eval "$Make" >bad.bin
  cp old.want old.xml
  "$Bin" -s:bad.bin -t:old.xml 2>err
  expectStatus "$Name" 6 "$?"
  expectLine "$Name" err "$First"
  grep -qF -- "          bad.bin: $Reason" err || fail "$Name: no reason $Reason: $(head -c 400 err)"
  [ "$(wc -l <err)" = 2 ] || fail "$Name: more than the error: $(head -c 400 err)"
  cmp -s old.xml old.want || fail "$Name: the old target changed"
  [ -z "$(find . -name '.*.quillon-*')" ] || fail "$Name: a new file is left"
done <<EOF
gzip cut|head -c 300000 plain.gz|$Damage|gzip data ends inside a member: the source is cut short
zstd cut|head -c 40000 plain.zst|$Damage|zstd data ends inside a frame: the source is cut short
gzip damaged|printf '\037\213\000'; tail -c +4 plain.gz|$Damage|gzip data is damaged: unknown compression method
gzip and then zeros|cat plain.gz; head -c 16 /dev/zero|$Damage|gzip data is damaged: what follows the last member is not gzip data
zstd damaged|head -c 20000 plain.zst; head -c 64 /dev/zero; tail -c +20065 plain.zst|$Damage|zstd data is damaged: 
zstd window of 256 MiB|printf '\050\265\057\375\000\220\001\000\000'|Error : Compressed source file needs too much memory, the conversion is abandoned...|a zstd frame needs a window larger than 128 MiB (ZSTD_d_windowLogMax); decompress it on the way: zstd -dc --long=31 bad.bin | quillon -s:- ...
xz|printf '\375\067\172\130\132\000\000\004'|Error : Source file is compressed in a format quillon does not read...|xz data; decompress it on the way: xz -dc bad.bin | quillon -s:- ...
bzip2|printf 'BZh91AY&SY\001'|Error : Source file is compressed in a format quillon does not read...|bzip2 data; decompress it on the way: bzip2 -dc bad.bin | quillon -s:- ...
zip|printf 'PK\003\004\024\000'|Error : Source file is compressed in a format quillon does not read...|zip data; decompress it on the way: unzip -p bad.bin | quillon -s:- ...
empty gzip|gzip -c </dev/null|Error : Source file access denied...|the file is empty (no header line)
EOF
# a window of 128 MiB is still read
printf '\050\265\057\375\000\210\001\000\000' >window.zst
"$Bin" -s:window.zst -t:- 2>err >/dev/null
expectLine "zstd window of 128 MiB" err "          window.zst: the file is empty (no header line)"
# on standard output the document stops without its end; through standard input, no name
head -c 300000 plain.gz | "$Bin" -s:- -t:- >cut.xml 2>err
expectStatus "cut on standard output" 6 "$?"
grep -q 'records written' cut.xml && fail "cut on standard output: the document was closed"
printf '\375\067\172\130\132\000' | "$Bin" -s:- -t:new.xml 2>err
expectLine "xz through standard input" err \
  "          STDIN: xz data; decompress it on the way: xz -dc | quillon -s:- ..."
expectNoFile "xz through standard input" new.xml

[ "$Fail" -eq 0 ] && echo "compressed sources and line ends: all passed"
exit "$Fail"

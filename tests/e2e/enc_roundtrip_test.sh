#!/usr/bin/env bash
# enc_roundtrip_test.sh BINARY: sources in Windows-1252 and in UTF-8 with and without a mark are
# converted, every document is checked with xmllint, and every cell read back from it must equal
# the source text. Sources with a UTF-16 or UTF-32 mark are refused before any target exists.
set -u
. "$(dirname "$0")/hostile_common.sh"

Text='Name;Größe;Preis
Müller;1,80 m;12 €
“Œuvre”;naïve – ja;™ ‰
Žižek;5 ¼ ½ ¾;ÿ ÷ ×
'
Records=3
printf '%s' "$Text" | iconv -f UTF-8 -t CP1252 >w1252.csv || exit 1
{ printf '\xEF\xBB\xBF'; printf '%s' "$Text"; } >marked.csv
printf '%s' "$Text" >unmarked.csv
# characters beyond Windows-1252, for the UTF-8 sources only
Wide='Name;Größe;Preis
日本;ą ę;😀 1 000
'
{ printf '\xEF\xBB\xBF'; printf '%s' "$Wide"; } >wide_marked.csv

# cell R C of the source text (R counts data lines from 1)
cell() { printf '%s' "$Text" | sed -n "$(($1 + 1))p" | cut -d';' -f"$2"; }

# checkCells DOC DECODE: every cell of DOC, read back through DECODE, equals the source's
checkCells() {
  local R C Got Want
  for ((R = 1; R <= Records; ++R)); do
    for C in 1 2 3; do
      Got=$(xmllint --xpath "string(/csv_data_records/record[$R]/*[$C])" "$1" | $2)
      Want=$(cell "$R" "$C")
      [ "$Got" = "$Want" ] || fail "$1 record $R cell $C: got '$Got', want '$Want'"
    done
  done
}
asIs() { cat; }

run() { # run OUT-NAME ARGS...: stderr to OUT-NAME.err, status to Status
  local Out=$1
  shift
  "$Bin" "$@" 2>"$Out.err"
  Status=$?
}

# Windows-1252 source, UTF-8 document
run a -s:w1252.csv -t:a.xml -e:UTF-8 -v
[ "$Status" = 0 ] || fail "Windows-1252 to UTF-8: exit $Status"
xmllint --noout a.xml || fail "a.xml is not well-formed"
head -n1 a.xml | grep -q 'encoding="UTF-8"' || fail "a.xml does not declare UTF-8"
checkCells a.xml asIs
[ "$(xmllint --xpath 'name(/csv_data_records/record[1]/*[2])' a.xml)" = "Größe" ] ||
  fail "a.xml: the element name Größe is not kept"
grep -qFx -- '-> 19 conversions from ISO-8859-1/ANSI to UTF-8' a.err ||
  fail "a.err: no count of 19 conversions to UTF-8"

# UTF-8 source with a mark, ISO-8859-1/ANSI document
run b -s:marked.csv -t:b.xml -v
[ "$Status" = 0 ] || fail "marked UTF-8 to ISO-8859-1: exit $Status"
xmllint --noout b.xml || fail "b.xml is not well-formed"
head -n1 b.xml | grep -q 'encoding="ISO-8859-1"' || fail "b.xml does not declare ISO-8859-1"
# the Windows-1252 characters beyond ISO-8859-1 are character references
checkCells b.xml asIs
grep -q $'\xEF\xBB\xBF' b.xml && fail "b.xml holds the mark"
grep -qF '<Preis>12 &#x20AC;</Preis>' b.xml || fail "b.xml: the euro sign is no reference"
grep -qFx -- '-> UTF-8 file header found ' b.err || fail "b.err: the mark is not reported"
grep -qFx -- '-> Converting to ISO-8859-1' b.err || fail "b.err: no converting line"
# as many as the other way round: the two letters of the name Größe count too
grep -qFx -- '-> 19 conversions from UTF-8 to ISO-8859-1/ANSI' b.err ||
  fail "b.err: no count of 19 conversions to ISO-8859-1/ANSI"
[ "$(xmllint --xpath 'name(/csv_data_records/record[1]/*[2])' b.xml)" = "Größe" ] ||
  fail "b.xml: the element name Größe is not kept"

# UTF-8 source with a mark, UTF-8 document: passed through, the mark dropped
run c -s:marked.csv -t:c.xml -e:UTF-8
[ "$Status" = 0 ] || fail "marked UTF-8 to UTF-8: exit $Status"
xmllint --noout c.xml || fail "c.xml is not well-formed"
checkCells c.xml asIs
[ "$(xmllint --xpath 'name(/csv_data_records/record[1]/*[1])' c.xml)" = "Name" ] ||
  fail "c.xml: the mark reached the first column name"
[ "$(xmllint --xpath 'name(/csv_data_records/record[1]/*[2])' c.xml)" = "Größe" ] ||
  fail "c.xml: the element name Größe is not kept"
cmp -s <(tail -n +3 a.xml) <(tail -n +3 c.xml) || fail "a.xml and c.xml differ in their records"

# Windows-1252 source, ISO-8859-1 document: the same cells and the same references as b.xml
run w -s:w1252.csv -t:w.xml
[ "$Status" = 0 ] || fail "Windows-1252 to ISO-8859-1: exit $Status"
checkCells w.xml asIs
cmp -s <(tail -n +3 b.xml) <(tail -n +3 w.xml) || fail "b.xml and w.xml differ in their records"
[ -s w.err ] && fail "w.err: $(cat w.err)"

# UTF-8 without a mark: found at its first byte from 0x80 up (in the header here) and read as
# with -ie:UTF-8, without a warning
run d -s:unmarked.csv -t:d.xml -e:UTF-8 -v
[ "$Status" = 0 ] || fail "unmarked UTF-8, no -ie: exit $Status"
grep -q '^Warning' d.err && fail "unmarked UTF-8, no -ie: warned: $(cat d.err)"
grep -qFx -- '-> UTF-8 data found in the header' d.err || fail "d.err: the decision is not reported"
checkCells d.xml asIs
cmp -s <(tail -n +3 c.xml) <(tail -n +3 d.xml) || fail "d.xml and c.xml differ in their records"
for Args in "-ie:UTF-8" "-ie:UTF-8 -e:UTF-8" "-ie:UTF-8 -m:3" "-ie:UTF-8 -e:UTF-8 -m:3"; do
  # shellcheck disable=SC2086
  run e -s:unmarked.csv -t:e.xml $Args -v
  [ "$Status" = 0 ] || fail "unmarked UTF-8 $Args: exit $Status"
  grep -q '^Warning' e.err && fail "unmarked UTF-8 $Args: warned though -ie: was given"
  grep -qFx -- '-> Source Encoding  : UTF-8' e.err || fail "$Args: the report lacks the source encoding"
  grep -qFx -- '-> UTF-8 file header found ' e.err || fail "$Args: the source is not read as UTF-8"
  checkCells e.xml asIs
  case $Args in
  *-m:3*)
    # the column name is an attribute value there
    [ "$(xmllint --xpath 'string(/csv_data_records/record[1]/*[2]/@name)' e.xml)" = "Größe" ] ||
      fail "$Args: the column name Größe is not kept"
    ;;
  *)
    # the same document as from the marked source, but for its source attribute
    Marked=b.xml
    case $Args in *-e:UTF-8*) Marked=c.xml ;; esac
    cmp -s <(tail -n +3 "$Marked") <(tail -n +3 e.xml) || fail "$Args: records differ from $Marked"
    ;;
  esac
done
# -ie:ISO-8859-1 keeps the old reading: each UTF-8 character becomes two or three
run i -s:unmarked.csv -t:i.xml -e:UTF-8 -ie:ISO-8859-1
[ -s i.err ] && fail "-ie:ISO-8859-1 warned: $(cat i.err)"
grep -qF '<Preis>12 â‚¬</Preis>' i.xml || fail "-ie:ISO-8859-1 did not read the source byte by byte"

# characters beyond Windows-1252: references in an ISO-8859-1 document, in every layout
for Mode in 1 2 3 4 5; do
  run x -s:wide_marked.csv -t:x.xml -m:$Mode
  [ "$Status" = 0 ] || fail "wide, layout $Mode: exit $Status"
  xmllint --noout x.xml || fail "wide, layout $Mode: not well-formed"
  LC_ALL=C grep -q $'[\x80-\x9F]' x.xml && fail "wide, layout $Mode: a C1 byte in the document"
  Where='//record/*'
  case $Mode in 2 | 4 | 5) Where='//record//@*' ;; esac
  for Want in '日本' 'ą ę' '😀 1 000'; do
    xmllint --xpath "$Where[.='$Want']" x.xml >/dev/null 2>&1 ||
      fail "wide, layout $Mode: $Want not read back"
  done
done

# A Windows-1252 byte as the last byte of the first block read, and a four-byte character
# across it: the first read of a file is one block of the reader's (512 KiB). The lines are
# whole again after the next read.
python3 -c '
import sys
First = 524288
Data = bytearray(b"a;b\n")
while len(Data) + 99 + 9 <= First - 1:
    Data += b"1;" + b"x" * 96 + b"\n"
Data += b"2;" + b"y" * (First - 1 - len(Data) - 2)
Data += b"\x80\n3;" + b"z" * (99 - 4) + b"\n"
sys.stdout.buffer.write(bytes(Data))
' >edge.csv
run edge -s:edge.csv -t:edge.xml -m:5
[ "$Status" = 0 ] || fail "block edge: exit $Status"
xmllint --noout edge.xml || fail "edge.xml is not well-formed"
grep -q 'b="y*&#x20AC;" />$' edge.xml || fail "edge.xml: the reference at the block's end is not whole"
python3 -c '
import sys
First = 524288
Data = bytearray(b"\xef\xbb\xbfa;b\n")
while len(Data) + 99 + 9 <= First - 2:
    Data += b"1;" + b"x" * 96 + b"\n"
Data += b"2;" + b"y" * (First - 2 - len(Data) - 2)
Data += b"\xf0\x9f\x98\x80\n3;z\n"
sys.stdout.buffer.write(bytes(Data))
' >edge.csv
run edge -s:edge.csv -t:edge.xml -m:5
xmllint --noout edge.xml || fail "edge.xml is not well-formed"
grep -q 'b="y*&#x1F600;" />$' edge.xml || fail "edge.xml: a four-byte character cut by the block"
[ -s edge.err ] && fail "edge.err: $(cat edge.err)"

# UTF-16 and UTF-32 marks: exit 7, the one error line, no target created or truncated
Marks=('\xFF\xFEa\0;\0b\0\n\0' '\xFE\xFF\0a\0;\0b\0\n' '\xFF\xFE\0\0a\0\0\0\n\0\0\0'
  '\0\0\xFE\xFF\0\0\0a\0\0\0\n' '\xFF\xFE\n\0')
Names=('UTF-16 [Litte Endian]' 'UTF-16 [Big Endian]' 'UTF-32 [Litte Endian]'
  'UTF-32 [Big Endian]' 'UTF-16 [Litte Endian]')
for I in "${!Marks[@]}"; do
  printf "${Marks[$I]}" >wide.csv
  rm -f wide.xml
  run wide -s:wide.csv -t:wide.xml -e:UTF-8
  [ "$Status" = 7 ] || fail "mark $I: exit $Status, want 7"
  [ "$(cat wide.err)" = "Error : Encoding is not supported..." ] || fail "mark $I: stderr $(cat wide.err)"
  [ -e wide.xml ] && fail "mark $I: a target file was created"
  echo keep >wide.xml
  run wide -s:wide.csv -t:wide.xml -v
  [ "$Status" = 7 ] || fail "mark $I, verbose: exit $Status, want 7"
  grep -qFx -- "-> ${Names[$I]} file header found " wide.err || fail "mark $I: not reported as ${Names[$I]}"
  [ "$(cat wide.xml)" = keep ] || fail "mark $I: an existing target was touched"
done

[ "$Fail" = 0 ] && echo "enc_roundtrip: all checks passed"
exit $Fail

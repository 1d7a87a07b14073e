#!/usr/bin/env bash
# enc_decision_test.sh BINARY: how a source without a byte-order mark is read. The 64 KiB that
# begin at its first byte from 0x80 up decide: UTF-8 when they hold a well-formed sequence and
# no byte outside one. Each case is converted from a file (records a block at a time) and from
# standard input; the verbose report names the reading and the line, a cell shows it.
set -u
. "$(dirname "$0")/hostile_common.sh"

# make NAME PYTHON-EXPRESSION: the source NAME.csv holds the bytes the expression gives
make() { python3 -c "import sys; sys.stdout.buffer.write($2)" >"$1.csv"; }

# decided NAME WHERE CELL [WARNINGS]: converted into a UTF-8 document, the report says WHERE
# ("UTF-8 data found at line 3"), the document holds the element line CELL, and standard error
# holds WARNINGS lines of warning (default 0); the same from standard input
decided() {
  local Name=$1 Where=$2 Cell=$3 Warnings=${4:-0} Way
  for Way in file stdin; do
    if [ $Way = file ]; then
      "$Bin" -s:"$Name.csv" -t:out.xml -e:UTF-8 -v 2>err.txt
    else
      "$Bin" -s:- -t:out.xml -e:UTF-8 -v <"$Name.csv" 2>err.txt
    fi || fail "$Name ($Way): exit $?"
    grep -qFx -- "-> $Where" err.txt || fail "$Name ($Way): not '$Where': $(grep -a 'found' err.txt)"
    grep -qFx -- "$Cell" out.xml || fail "$Name ($Way): no line '$Cell'"
    [ "$(grep -c '^Warning' err.txt)" = "$Warnings" ] ||
      fail "$Name ($Way): warnings: $(grep '^Warning' err.txt)"
    # without the report, records go a block at a time: the same document
    [ $Way = file ] && { "$Bin" -s:"$Name.csv" -t:quiet.xml -e:UTF-8 2>/dev/null
      cmp -s out.xml quiet.xml || fail "$Name: the quiet run writes another document"; }
  done
}

Ascii='(b"1;" + b"x" * 96 + b"\n")' # a record of 100 bytes

# ASCII far beyond the first blocks, then UTF-8
make late "b\"a;b\n\" + $Ascii * 6000 + b\"2;\xc3\xa9t\xc3\xa9\n\""
decided late "UTF-8 data found at line 6001" "          <b>été</b>"
# Windows-1252 text: French, German, and pairs that happen to be UTF-8 among bytes that are not
make french 'b"a;b\n1;caf\xe9 cr\xe8me br\xfbl\xe9e\n"'
decided french "ISO-8859-1 data found at line 1" "          <b>café crème brûlée</b>"
make german 'b"a;b\n1;Gr\xf6\xdfe M\xfcller Stra\xdfe\n"'
decided german "ISO-8859-1 data found at line 1" "          <b>Größe Müller Straße</b>"
make cafe 'b"a;b\n1;CAF\xc9\xbb\n2;\xc0 bient\xf4t\n"' # C9 BB is U+027B, C0 20 is nothing
decided cafe "ISO-8859-1 data found at line 1" "          <b>CAFÉ»</b>"
# a stray Windows-1252 byte beyond the window is read as its character, with one warning
make stray "b\"a;b\n1;\xc3\xa9\n\" + $Ascii * 700 + b\"3;caf\xe9\n4;\xe9\n\""
decided stray "UTF-8 data found at line 1" "          <b>café</b>" 1
grep -qFx 'Warning : record 702 holds bytes that are not UTF-8; each is read as its Windows-1252 character (later records are not reported)' err.txt ||
  fail "stray: the warning does not name record 702: $(cat err.txt)"
# the window's last byte is the 65536th from the first high byte: FF there decides, one further
# on it does not; a sequence the window's end cuts is not held against the source
Pad='b"x" * (65536 - 2 - 4)' # from the first high byte (C3 A9 x... \n z ;) to the window's last byte
make inside "b\"a;b\n1;\xc3\xa9\" + $Pad + b\"\nz;\xff\n\""
decided inside "ISO-8859-1 data found at line 1" "          <a>z</a>"
make outside "b\"a;b\n1;\xc3\xa9\" + $Pad + b\"\nz;x\xff\n\""
decided outside "UTF-8 data found at line 1" "          <b>xÿ</b>" 1
make cut "b\"a;b\n1;\xc3\xa9\" + $Pad + b\"\nz;\xe2\x82\xac\n\""
decided cut "UTF-8 data found at line 1" "          <b>€</b>"
# in the header, the names are formed after the decision
make header 'b"Gr\xc3\xb6\xc3\x9fe;b\n1;2\n"'
decided header "UTF-8 data found in the header" "          <Größe>1</Größe>"
# forced readings stay as they were, and a pure ASCII source decides nothing
"$Bin" -s:header.csv -t:- -ie:ISO-8859-1 -e:UTF-8 -v 2>err.txt | grep -q 'Größe' &&
  fail "-ie:ISO-8859-1 reads the source as UTF-8"
grep -q 'data found' err.txt && fail "-ie:ISO-8859-1: decided all the same"
make ascii "b\"a;b\n\" + $Ascii * 3"
"$Bin" -s:ascii.csv -t:- -v 2>err.txt >/dev/null
grep -q 'data found' err.txt && fail "ASCII: decided: $(grep 'found' err.txt)"

[ "$Fail" = 0 ] && echo "enc_decision: all checks passed"
exit $Fail

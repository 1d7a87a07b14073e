#!/usr/bin/env bash
# enc_unmarked_utf8_test.sh BINARY: the warning for a source without a byte-order mark that
# looks like UTF-8. It is judged on the header and the rest of the first block read, written
# once and before the document, and never when -ie: or a mark says what the source is.
set -u
Bin=$(realpath "$1") && [ -x "$Bin" ] || { echo "no binary: $1"; exit 1; }
Work=$(mktemp -d) && trap 'rm -rf "$Work"' EXIT
cd "$Work" || exit 1
Fail=0
fail() { echo "FAIL: $*"; Fail=1; }
Warning='Warning : the source reads as UTF-8 but has no byte-order mark; it is converted as ISO-8859-1/Windows-1252 (-ie:UTF-8 reads it as UTF-8)'

# warnings NAME WANT ARGS...: converts in.csv to standard output, both streams into one file,
# and counts the warning lines (WANT: 0 or 1)
warnings() {
  local Name=$1 Want=$2
  shift 2
  "$Bin" -s:in.csv -t:- "$@" >out.txt 2>&1 || fail "$Name: exit $?"
  local Got
  Got=$(grep -cxF -- "$Warning" out.txt)
  [ "$Got" = "$Want" ] || fail "$Name: $Got warning lines, want $Want"
  [ "$(grep -c '^Warning' out.txt)" = "$Want" ] || fail "$Name: other warnings: $(grep '^Warning' out.txt)"
  if [ "$Want" = 1 ]; then
    [ "$(head -n 1 out.txt)" = "$Warning" ] || fail "$Name: the warning is not written first"
  fi
}

printf 'Gr\xc3\xb6\xc3\x9fe;b\n1;2\n' >in.csv
warnings "UTF-8 in the header" 1
warnings "UTF-8 in the header, UTF-8 document" 1 -e:UTF-8
warnings "with -ie:ISO-8859-1" 0 -ie:ISO-8859-1
warnings "with -ie:UTF-8" 0 -ie:UTF-8
printf '\xef\xbb\xbfGr\xc3\xb6\xc3\x9fe;b\n1;2\n' >in.csv
warnings "a UTF-8 mark" 0

# many records with UTF-8: still one line
{
  printf 'a;b\n'
  for I in $(seq 1 500); do printf '%d;\xe2\x82\xac %d\n' "$I" "$I"; done
} >in.csv
warnings "UTF-8 in every record" 1
"$Bin" -s:in.csv -t:- -e:UTF-8 -v >/dev/null 2>err.txt
[ "$(grep -c '^Warning' err.txt)" = 1 ] || fail "verbose: not one warning"
[ "$(grep -n '^Warning' err.txt | cut -d: -f1)" -lt "$(grep -n '^Working :' err.txt | cut -d: -f1)" ] ||
  fail "verbose: the warning comes after the records began"

printf 'a;b\n1;\xc3\xa9\n2;caf\xe9\n' >in.csv
warnings "a Windows-1252 byte after UTF-8" 0
printf 'a;b\n1;caf\xe9\n2;\xc3\xa9\n' >in.csv
warnings "a Windows-1252 byte before UTF-8" 0
printf 'a;b\n1;2\n' >in.csv
warnings "ASCII only" 0
printf 'a;b\n1;\xc3\xa9' >in.csv
warnings "UTF-8 in a last line without line end" 1
printf 'a;b\n1;\xc3' >in.csv
warnings "a sequence cut off by the end of the file" 0
printf 'Gr\xc3\xb6\xc3\x9fe;b\n' | "$Bin" -s:- -t:- 2>err.txt >/dev/null
[ "$(cat err.txt)" = "$Warning" ] || fail "standard input: $(cat err.txt)"

# UTF-8 far beyond the first block is not looked for
python3 -c '
import sys
sys.stdout.buffer.write(b"a;b\n" + b"1;" + b"x" * 96 + b"\n" * 1 + (b"1;" + b"x" * 96 + b"\n") * 30000 + b"2;\xc3\xa9\n")
' >in.csv
warnings "UTF-8 beyond the first block" 0

# A sequence cut by the end of the first block is not held against the source. The first read
# of a file is one block of the reader's (512 KiB).
python3 -c '
import sys
First = 524288
Data = bytearray(b"a;\xc3\xa9\n")
while len(Data) + 99 + 3 <= First - 1:
    Data += b"1;" + b"x" * 96 + b"\n"
Data += b"2;" + b"x" * (First - 1 - len(Data) - 2)
assert len(Data) == First - 1
Data += b"\xc3\xa9\n3;4\n"
sys.stdout.buffer.write(Data)
' >in.csv
[ "$(head -c 524288 in.csv | tail -c 1 | od -An -tx1 | tr -d ' ')" = c3 ] ||
  fail "the test source does not end its first block inside a sequence"
warnings "a sequence across the end of the first block" 1

[ "$Fail" = 0 ] && echo "enc_unmarked_utf8: all checks passed"
exit $Fail

#!/usr/bin/env bash
# tests/e2e/docs_manual_test.sh BINARY: the manual page agrees with the program.
# - every option of the usage text (quillon -?) is described in docs/quillon.1;
# - every error and warning text that the program writes appears in the manual;
# - the usage text points at the installed manual: the man page, and the PDF where this build
#   makes one (as decided when it was configured: generated/quillon_build.h);
# - groff reads the page without a single warning.
# Only the groff checks are skipped (with SKIP) when groff is missing.
set -u
Bin=$1
Build=$(cd "$(dirname "$Bin")" && pwd)
Root=$(cd "$(dirname "$0")/../.." && pwd)
Page=$Root/docs/quillon.1
Fail=0
Work=$(mktemp -d) && trap 'rm -rf "$Work"' EXIT
fail() { echo "FAIL: $*"; Fail=1; }

[ -f "$Page" ] || { echo "FAIL: $Page is missing"; exit 1; }
"$Bin" -? >"$Work/usage" 2>/dev/null || fail "quillon -? did not end with status 0"

# The manual as plain text, one paragraph per line, so that a phrase broken over two output
# lines still matches. Without groff the source is stripped of its markup instead.
if command -v groff >/dev/null; then
  HaveGroff=1
  groff -man -Tutf8 -P-cbou -rLL=5000n "$Page" 2>/dev/null | sed 's/\xe2\x80\x99/'"'"'/g' >"$Work/text"
else
  HaveGroff=0
  # a small reading of the man macros: alternating-font macros join their arguments
  python3 - "$Page" >"$Work/text" <<'EOF'
import re, sys
Escapes = [(r"\-", "-"), (r"\(dq", '"'), (r"\(aq", "'"), (r"\(em", "-"), (r"\(bu", "*"),
           (r"\(+-", "+-"), (r"\&", ""), (r"\e", "\\")]
def plain(Text):
    Text = re.sub(r"\\f[BIRP]", "", Text)
    for Escape, Value in Escapes:
        Text = Text.replace(Escape, Value)
    return Text
def arguments(Text):
    return [A[1:-1].replace('""', '"') if A.startswith('"') else A
            for A in re.findall(r'"(?:[^"]|"")*"|\S+', Text)]
for Line in open(sys.argv[1], encoding="latin-1"):
    Line = Line.rstrip("\n")
    Match = re.match(r"\.([A-Za-z]+)\s*(.*)", Line)
    if Line.startswith(('.\\"', "'\\\"")):
        continue
    if not Match:
        print(plain(Line))
    elif Match.group(1) in ("BI", "BR", "IB", "IR", "RB", "RI"):
        print(plain("".join(arguments(Match.group(2)))))
    elif Match.group(1) in ("B", "I", "SH", "SS", "TP", "IP", "SM", "SB"):
        print(plain(" ".join(arguments(Match.group(2)))))
EOF
fi
tr -s ' \n' '  ' <"$Work/text" >"$Work/flat"
inManual() { grep -qF -- "$1" "$Work/flat"; }

# Options of the usage text: a "-" at the start of a word, then letters (or "?"), then the
# colon form if there is one. "-cc:i2u" and "-sep::#:" keep their fixed values.
grep -oE '(^|[][ (|])-([a-zA-Z]+|\?)(::#:|:[a-z0-9]+|:)?' "$Work/usage" \
  | sed -E 's/^[][ (|]//' | sort -u >"$Work/options"
Count=$(wc -l <"$Work/options")
[ "$Count" -ge 20 ] || fail "only $Count options found in the usage text: $(tr '\n' ' ' <"$Work/options")"
while read -r Option; do
  case $Option in
  -sep::#:) Want="-sep::N:" ;; # the manual names the number N
  *) Want=$Option ;;
  esac
  inManual "$Want" || fail "option $Option of the usage text is not in the manual"
done <"$Work/options"
# Options the usage text does not list, but the program accepts.
for Option in -enc: -xsl: -debug; do
  inManual "$Option" || fail "option $Option is not in the manual"
done

# Every literal piece of an error or warning message in the sources is in the manual, so a
# new or reworded message cannot stay undocumented.
python3 - "$Root/src" >"$Work/messages" <<'EOF' || fail "could not collect the messages"
import pathlib, re, sys
Start = re.compile(r'std::cerr\s*<<|writeError\(')
Token = re.compile(r'"(?:[^"\\]|\\.)*"|\'(?:[^\'\\]|\\.)*\'|//[^\n]*|;|[^"\';/]+|/')
for Path in sorted(pathlib.Path(sys.argv[1]).rglob("*.cpp")):
    Text = Path.read_text(encoding="latin-1")
    for Found in Start.finditer(Text):
        # the literals of one statement; adjacent literals make one text
        Pieces, Current = [], None
        for Match in Token.finditer(Text, Found.end()):
            Item = Match.group(0)
            if Item == ";":
                break
            if Item.startswith('"'):
                Value = bytes(Item[1:-1], "latin-1").decode("unicode_escape")
                Current = Value if Current is None else Current + Value
            elif Item.strip() and not Item.startswith("//"):
                if Current is not None:
                    Pieces.append(Current)
                Current = None
        if Current is not None:
            Pieces.append(Current)
        for Piece in Pieces:
            Piece = " ".join(Piece.split())
            if len(Piece) >= 8:
                print(Piece)
EOF
sort -u "$Work/messages" -o "$Work/messages"
[ "$(wc -l <"$Work/messages")" -ge 30 ] || fail "too few messages found in the sources"
while IFS= read -r Message; do
  inManual "$Message" || fail "message text not in the manual: [$Message]"
done <"$Work/messages"

# The closing lines of the usage text tell where the manual is once installed.
tail -n 3 "$Work/usage" >"$Work/usage_end"
Decision=$Build/generated/quillon_build.h
[ -f "$Decision" ] || fail "the build has no generated/quillon_build.h"
PdfPlace=$(sed -n 's/^#define QUILLON_MANUAL_PDF "\(.*\)"$/\1/p' "$Decision" 2>/dev/null)
if [ -n "$PdfPlace" ]; then
  Want="It is installed as $PdfPlace; the same manual: \"man quillon\""
else
  Want='No quillon.pdf was built for this installation; the manual is "man quillon"'
fi
printf 'You may refer the quillon.pdf for detailed information\n%s\n\n' "$Want" |
  cmp -s - "$Work/usage_end" || fail "the usage text ends [$(cat "$Work/usage_end")], want [$Want]"
inManual "share/doc/quillon/quillon.pdf" || fail "the manual does not name the installed PDF"

# Each of the five layouts has its name and its example in the manual.
for Layout in "Elements with Element Context (default)" "Elements with Attributes" \
  "Attributes with Element Context" "Attributes with Attribute Context" \
  "Attributes with Values" '<Zip_code>00118</Zip_code>' '<Zip_code value="00118" />' \
  '<item name="Zip code">00118</item>' '<item name="Zip code" value="00118" />' \
  '<record City="Rome" Zip_code="00118" />' '#!/usr/bin/env -S quillon -exec'; do
  inManual "$Layout" || fail "the manual lacks: $Layout"
done

# Exit statuses: each one the program can return is explained.
for Status in 0 1 2 3 5 6 7 8 9 10; do
  grep -qE "^\.B $Status\$" "$Page" || fail "exit status $Status is not described"
done

if [ $HaveGroff = 1 ]; then
  groff -man -ww -z "$Page" >"$Work/groff.out" 2>&1
  [ -s "$Work/groff.out" ] && fail "groff warns about the manual page:" && cat "$Work/groff.out"
else
  echo "SKIP: groff is not installed; the warning check of the manual page did not run"
fi
exit $Fail

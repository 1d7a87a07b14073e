#!/usr/bin/env bash
# csv_rfc4180_python_test.sh BINARY: with -rfc4180 the cells are those Python's csv module reads
# from the same text. Seeded sources with quotation marks in every position, separators and
# line breaks inside quoted cells, converted in layout 4 and read back with xml.etree.
set -u
Bin=$(realpath "$1") && [ -x "$Bin" ] || { echo "no binary: $1"; exit 1; }
command -v python3 >/dev/null || { echo "SKIP: no python3"; exit 0; }
Work=$(mktemp -d) && trap 'rm -rf "$Work"' EXIT
cd "$Work" || exit 1

python3 - "$Bin" <<'EOF'
import csv, io, random, subprocess, sys
import xml.etree.ElementTree as ET

Bin = sys.argv[1]
Failures = 0

def fail(Text):
    global Failures
    Failures += 1
    print("FAIL: " + Text)

Words = ["a", "bc", "x y", " ", "12.5", "&", "<", "'", "\t"]

def text(R, Sep, Marks):
    # a mark anywhere but first, alone, doubled or at the end
    Out = R.choice(Words[:4])
    for _ in range(R.randrange(4)):
        Out += R.choice(Words + ['"', '""', '"'] if Marks else Words)
    return Out

def quoted(R, Sep):
    Inner = ""
    for _ in range(R.randrange(5)):
        Inner += R.choice(Words + ['"', Sep, "\n", "\n\n"])
    Tail = R.choice(["", "", "", "b", ' "', 'b"c', '"'])  # kept as it stands after the close
    return '"' + Inner.replace('"', '""') + '"' + Tail

def cell(R, Sep):
    Kind = R.randrange(12)
    if Kind < 2:
        return ""
    if Kind < 6:
        return text(R, Sep, Kind > 3)
    if Kind < 10:
        return quoted(R, Sep)
    # marks the quotation does not pair: one left open, or closed then doubled
    return R.choice(['"', '"a""', '"""', '""""', '"a"' + Sep + '"'])

def source(R, Sep, Columns):
    Lines = [Sep.join("c%d" % I for I in range(Columns))]
    for _ in range(300):
        Cells = Columns + R.choice([0, 0, 0, 0, -1, 1, 2]) if Columns > 1 else 1
        Lines.append("" if R.randrange(40) == 0 else Sep.join(cell(R, Sep) for _ in range(Cells)))
    Text = "\n".join(Lines) + "\n"
    # a quotation still open at the end is closed, so that the last record is read
    if list(csv.reader(io.StringIO(Text + "Z\n", newline=""), delimiter=Sep))[-1] != ["Z"]:
        Text += '"\n'
    return Text

def compare(Name, Text, Sep, Options):
    with open("in.csv", "w", encoding="latin-1", newline="") as F:
        F.write(Text)
    Run = subprocess.run([Bin, "-s:in.csv", "-t:out.xml", "-m:4", "-rfc4180"] + Options,
                         capture_output=True)
    Errors = Run.stderr.decode("latin-1")
    if Run.returncode != 0 or "spans several lines" in Errors or "never closes" in Errors:
        fail("%s: status %d\n%s" % (Name, Run.returncode, Errors))
        return
    Rows = list(csv.reader(io.StringIO(Text, newline=""), delimiter=Sep))
    Columns = len(Rows[0])
    Want = [(Row + [""] * Columns)[:Columns] for Row in Rows[1:] if Row]
    Got = [[Item.get("value") for Item in Record] for Record in ET.parse("out.xml").getroot()]
    if len(Got) != len(Want):
        fail("%s: %d records, Python reads %d" % (Name, len(Got), len(Want)))
    for Number, (G, W) in enumerate(zip(Got, Want), 1):
        if G != W:
            fail("%s: record %d is %r, Python reads %r" % (Name, Number, G, W))
            return

R = random.Random(4180)
for Round, (Sep, Option) in enumerate([(",", "-sep:,"), (";", "-sep:;"), ("\t", "-sep::9:"),
                                       ("|", "-sep:|"), (",", "-sep:,"), (";", "-sep:;")] * 2):
    Columns = 1 + R.randrange(5)
    Text = source(R, Sep, Columns)
    compare("round %d, %s, %d columns" % (Round, Option, Columns), Text, Sep, [Option])
    if Failures:
        break

# through a configuration file the option reads the same
with open("in.csv", "w", newline="") as F:
    F.write('h1,h2\n"a"b,c"d\n')
with open("rfc.cfg", "w") as F:
    F.write("-rfc4180\n-sep:,\n")
Run = subprocess.run([Bin, "-s:in.csv", "-t:-", "-m:4", "-cfg:rfc.cfg"], capture_output=True)
if b'value="ab"' not in Run.stdout or b'value="c&quot;d"' not in Run.stdout:
    fail("-rfc4180 from a configuration file: %r" % Run.stdout)
sys.exit(1 if Failures else 0)
EOF

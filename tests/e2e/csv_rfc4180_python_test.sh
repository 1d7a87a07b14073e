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

Words = ["a", "bc", "x y", " ", "&", "<", "'", "\t"]

def cell(R, Sep):
    Kind = R.randrange(12)
    if Kind < 2:
        return ""
    if Kind < 6:  # a mark anywhere but first: alone, doubled, at the end
        return R.choice(Words[:4]) + "".join(R.choice(Words + ['"', '""']) for _ in range(R.randrange(4)))
    if Kind < 10:  # quoted, separators and line breaks inside, something after the closing mark
        Inner = "".join(R.choice(Words + ['"', Sep, "\n", "\n\n"]) for _ in range(R.randrange(5)))
        return '"' + Inner.replace('"', '""') + '"' + R.choice(["", "", "b", ' "', 'b"c', '"'])
    # marks the quotation does not pair: one left open, or closed then doubled
    return R.choice(['"', '"a""', '"""', '""""', '"a"' + Sep + '"'])

def source(R, Sep, Columns):
    Lines = [Sep.join("c%d" % I for I in range(Columns))]
    for _ in range(300):
        Cells = max(1, Columns + R.choice([0, 0, 0, 0, -1, 1, 2]))
        Lines.append("" if R.randrange(40) == 0 else Sep.join(cell(R, Sep) for _ in range(Cells)))
    Text = "\n".join(Lines) + "\n"
    # a quotation still open at the end is closed, so that the last record is read
    if list(csv.reader(io.StringIO(Text + "Z\n", newline=""), delimiter=Sep))[-1] != ["Z"]:
        Text += '"\n'
    return Text

R = random.Random(4180)
for Round, (Sep, Option) in enumerate([(",", "-sep:,"), (";", "-sep:;"), ("\t", "-sep::9:"),
                                       ("|", "-sep:|")] * 3):
    Name = "round %d, %s" % (Round, Option)
    Text = source(R, Sep, 1 + R.randrange(5))
    with open("in.csv", "w", newline="") as F:
        F.write(Text)
    Run = subprocess.run([sys.argv[1], "-s:in.csv", "-t:out.xml", "-m:4", "-rfc4180", Option],
                         capture_output=True, text=True)
    if Run.returncode != 0 or "spans several lines" in Run.stderr or "never closes" in Run.stderr:
        sys.exit("FAIL: %s: status %d\n%s" % (Name, Run.returncode, Run.stderr))
    Rows = list(csv.reader(io.StringIO(Text, newline=""), delimiter=Sep))
    Columns = len(Rows[0])
    Want = [(Row + [""] * Columns)[:Columns] for Row in Rows[1:] if Row]
    Got = [[Item.get("value") for Item in Record] for Record in ET.parse("out.xml").getroot()]
    for Number, (G, W) in enumerate(zip(Got, Want), 1):
        if G != W:
            sys.exit("FAIL: %s: record %d is %r, Python reads %r" % (Name, Number, G, W))
    if len(Got) != len(Want):
        sys.exit("FAIL: %s: %d records, Python reads %d" % (Name, len(Got), len(Want)))
EOF

#!/usr/bin/env bash
# schema_gen_test.sh BINARY: every document is valid against the schema -xsdgen: writes with it.
# Seeded tables of typed columns in every layout with every namespace form, -wn, -wid and -sup,
# through the block converter and the line by line path (-debug), whose schemas must be equal;
# one table per type edge; a changed typed cell that fails; the refused names; real files.
set -u
Bin=$(realpath "$1") && [ -x "$Bin" ] || { echo "no binary: $1"; exit 1; }
command -v xmllint >/dev/null || { echo "SKIP: no xmllint"; exit 0; }
command -v python3 >/dev/null || { echo "SKIP: no python3"; exit 0; }
Here=$(cd "$(dirname "$0")" && pwd)
Work=$(mktemp -d) && trap 'rm -rf "$Work"' EXIT
cd "$Work" || exit 1

python3 - "$Bin" "$Here/.." <<'PYEOF'
import glob, os, random, re, subprocess, sys

Bin, Tests = sys.argv[1], sys.argv[2]
Failures = []

def fail(What):
    Failures.append(What)
    print("FAIL:", What)

def run(Args, Stdin=None):
    return subprocess.run([Bin] + Args, stdin=Stdin, capture_output=True)

def valid(Xsd, Xml):
    P = subprocess.run(["xmllint", "--noout", "--schema", Xsd, Xml], capture_output=True)
    return P.returncode == 0, P.stderr.decode("latin-1")

# Cells of each kind, the awkward forms included; a kind's column takes its values.
Kinds = {
    "int": ["0", "-0", "+1", "007", "-42", "123456789012345678901234", " 12 ", '"5"'],
    "dec": ["1.5", "-.5", "5.", "+0.25", "3", "0.000001"],
    "dbl": ["1e5", "-2.5E-3", "INF", "-INF", "NaN", "7", "1234567890123456789012345"],
    "bool": ["true", "false", " true"],
    "date": ["2024-02-29", "1999-12-31Z", "2000-01-01+14:00", "0001-01-01", "-0044-03-15"],
    "time": ["00:00:00", "23:59:59.5", "12:00:00-05:30", "24:00:00"],
    "stamp": ["2024-01-01T12:00:00", "2024-12-31T23:59:59.125Z", "1970-01-01T00:00:00+01:00"],
    "text": ["Rome", "a<b & \"c\"", "x;y", "1 2", "2024-02-30", "+INF", "TRUE", "12:00"],
}
Names = ["Zip code", "1st", "xml name", "a&b", "Größe", "id", "id", "", "num", "value", "n:s"]

def table(R, Rows):
    Cols = [R.choice(list(Kinds)) for _ in range(R.randrange(3, 9))]
    Header = [R.choice(Names + ["c%d" % I]) for I in range(len(Cols))]
    Lines = [";".join(Header)]
    for _ in range(Rows):
        Cells = []
        for K in Cols:
            V = R.choice(Kinds[K]) if R.randrange(6) else R.choice(["", "", " "])
            if ";" in V or '"' in V[1:-1]:
                V = '"' + V.replace('"', '""') + '"'
            Cells.append(V)
        if R.randrange(15) == 0:
            Cells = Cells[: R.randrange(len(Cells))]  # a short record: the rest is empty
        Lines.append(";".join(Cells))
    return "\n".join(Lines) + "\n"

Forms = [[], ["-xmlns:urn:example:t"], ["-xmlns:p=urn:example:p"]]
R = random.Random(2024)
Checked = 0
for T in range(6):
    with open("t.csv", "w", encoding="utf-8", newline="") as F:
        F.write(table(R, 40))
    Encoding = ["-e:UTF-8"] if T % 2 else []
    for Layout in range(1, 6):
        for Form in Forms:
            for Flags in range(8):
                Args = ["-s:t.csv", "-t:t.xml", "-xsdgen:t.xsd", "-m:%d" % Layout] + Form + Encoding
                Args += [O for B, O in ((1, "-wn"), (2, "-wid"), (4, "-sup")) if Flags & B]
                if T == 5:  # names given to every token, prefixed ones too
                    Args.append("-alias:eRoot=rows,eRecord=row,eItem=cell,aName=n,aValue=n,"
                                "aNum=xml:lang,aID=p:key,aSource=from,aDT=from")
                Label = " ".join(Args[3:]) + " table %d" % T
                P = run(Args)
                if P.returncode != 0:
                    fail("%s: exit %d %s" % (Label, P.returncode, P.stderr[:200]))
                    continue
                Ok, Why = valid("t.xsd", "t.xml")
                Checked += 1
                if not Ok:
                    fail("%s: %s" % (Label, Why[:600]))
                    continue
                # the line by line path learns the same types
                if Flags in (0, 7):
                    Exact = run(["-debug", "-s:t.csv", "-t:e.xml", "-xsdgen:e.xsd"] + Args[3:])
                    if open("e.xsd", "rb").read() != open("t.xsd", "rb").read():
                        fail("%s: the line by line path learns other types" % Label)
print("documents validated:", Checked)

def typeOf(Xsd, Column):
    Text = open(Xsd, encoding="latin-1").read()
    M = re.search(r'<xs:element name="%s" type="([^"]+)"' % re.escape(Column), Text)
    return M.group(1) if M else None

# One column per edge, checked by its declared type and by validation.
Edges = [
    ("integer until the last cell", ["1", "-2", "+3", "x"], "xs:string"),
    ("minus zero", ["-0", "0"], "xs:integer"),
    ("leading zeros and signs", ["007", "+1", "-0012"], "xs:integer"),
    ("an exponent", ["1", "1e5"], "xs:double"),
    ("a point alone", ["5.", ".5"], "xs:decimal"),
    ("too many digits for libxml2", ["1234567890123456789012345"], "xs:double"),
    ("30 February", ["2024-02-28", "2024-02-30"], "xs:string"),
    ("29 February of a leap year", ["2024-02-29", "2000-02-29"], "xs:date"),
    ("29 February of 1900", ["1900-02-29"], "xs:string"),
    ("year 0000", ["0000-01-01"], "xs:string"),
    ("a date with a zone", ["2024-05-01+02:00", "2024-05-02Z"], "xs:date"),
    ("a time with a zone", ["12:00:00Z", "13:30:00.25-14:00"], "xs:time"),
    ("a zone out of range", ["12:00:00+14:30"], "xs:string"),
    ("midnight at the end of the day", ["24:00:00"], "xs:time"),
    ("ones and zeros are integers", ["1", "0"], "xs:integer"),
    ("true beside 1", ["true", "1"], "xs:string"),
    ("booleans in capitals", ["TRUE"], "xs:string"),
    ("a blank cell beside numbers", ["1", " "], "integer-or-blank"),
    ("blanks around a date", [" 2024-01-01"], "xs:string"),
    ("+INF", ["+INF"], "xs:string"),
    ("-INF and NaN", ["-INF", "NaN"], "xs:double"),
]
for What, Values, Want in Edges:
    with open("edge.csv", "w", newline="") as F:
        F.write("v;w\n" + "".join("%s;x\n" % V for V in Values))
    P = run(["-s:edge.csv", "-t:edge.xml", "-xsdgen:edge.xsd"])
    Got = typeOf("edge.xsd", "v")
    Ok, Why = valid("edge.xsd", "edge.xml")
    if P.returncode != 0 or Got != Want or not Ok:
        fail("%s: %s, want %s (exit %d) %s" % (What, Got, Want, P.returncode, Why[:300]))

# The schema constrains: one typed cell changed in the document fails validation.
with open("c.csv", "w", newline="") as F:
    F.write("n;d;when\n1;2.5;2024-01-01\n2;3;2024-01-02\n")
for Layout in (1, 2, 5):
    run(["-s:c.csv", "-t:c.xml", "-xsdgen:c.xsd", "-m:%d" % Layout])
    Doc = open("c.xml").read()
    for Old, New in (("2024-01-02", "2024-01-32"), ("2.5", "2,5"), ("1<", "one<"),
                     ('"1"', '"one"')):
        if Old not in Doc:
            continue
        with open("bad.xml", "w") as F:
            F.write(Doc.replace(Old, New, 1))
        if valid("c.xsd", "bad.xml")[0]:
            fail("layout %d: %s as %s still validates" % (Layout, Old, New))

# Names that would write the schema over the source or the document are refused; nothing is
# created and an old schema stays.
with open("old.xsd", "w") as F:
    F.write("old")
Refused = [
    (["-s:c.csv", "-t:out.xml", "-xsdgen:c.csv"], None),
    (["-s:c.csv", "-t:out.xml", "-xsdgen:out.xml"], None),
    (["-s:c.csv", "-t:out.xml", "-xsdgen:./out.xml"], None),
    (["-s:c.csv", "-t:-", "-xsdgen:-"], None),
    (["-s:-", "-t:out.xml", "-xsdgen:c.csv"], "c.csv"),
]
for Args, Stdin in Refused:
    for Name in ("out.xml",):
        if os.path.exists(Name):
            os.remove(Name)
    Before = sorted(os.listdir("."))
    P = run(Args, open(Stdin, "rb") if Stdin else None)
    Err = P.stderr.decode()
    if P.returncode != 9 or "Error : Schema file must differ from the source and the target file..." not in Err:
        fail("%s: exit %d, %s" % (Args, P.returncode, Err))
    if sorted(os.listdir(".")) != Before:
        fail("%s: left %s" % (Args, sorted(set(os.listdir(".")) - set(Before))))
# a run that fails after the header keeps the old schema and leaves no new file
with open("cut.csv.gz", "wb") as F:
    F.write(subprocess.run(["gzip", "-c", "c.csv"], capture_output=True).stdout[:-12])
Before = sorted(os.listdir("."))
P = run(["-s:cut.csv.gz", "-t:-", "-xsdgen:old.xsd"])
if P.returncode == 0 or open("old.xsd").read() != "old" or sorted(os.listdir(".")) != Before:
    fail("a failed run changed the schema's place: exit %d %s" % (P.returncode, os.listdir(".")))
# into standard output, a document referring to the schema it comes with
P = run(["-s:c.csv", "-t:-", "-xsd:ref.xsd", "-xsdgen:ref.xsd", "-xmlns:q=urn:q"])
with open("ref.xml", "wb") as F:
    F.write(P.stdout)
if P.returncode != 0 or b'xsi:schemaLocation="urn:q ref.xsd"' not in P.stdout or not valid("ref.xsd", "ref.xml")[0]:
    fail("a document referring to its own schema: exit %d" % P.returncode)

# Real files: the tests' sources and the peer suites, in the element and attribute layouts.
Real = sorted(glob.glob(os.path.join(Tests, "golden", "*", "*.csv")) +
              glob.glob("/work/shared/peer-csv/**/*.csv", recursive=True))
Real = [F for F in Real if os.path.getsize(F) < 1 << 20]
Done = 0
for Source in Real:
    for Layout in ("1", "5"):
        for Extra in ([], ["-sep:,", "-rfc4180", "-sup"]):
            P = run(["-s:" + Source, "-t:r.xml", "-xsdgen:r.xsd", "-m:" + Layout] + Extra)
            if P.returncode != 0:
                continue
            Ok, Why = valid("r.xsd", "r.xml")
            Done += 1
            if not Ok:
                fail("%s -m:%s %s: %s" % (Source, Layout, Extra, Why[:400]))
print("real files validated:", Done)
sys.exit(1 if Failures else 0)
PYEOF

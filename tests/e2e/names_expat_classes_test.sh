#!/usr/bin/env bash
# names_expat_classes_test.sh BINARY: every character from U+0080 to U+FFFF, and every byte from
# 0x80 up in ISO-8859-1, at the start of a column name and inside one. A character must stay
# exactly where expat, which judges names by the earlier editions of XML 1.0, takes it in a name,
# and become '_' elsewhere; every document must parse with expat reading namespaces.
# Needs python3 with its expat module; skipped without.
set -u
Bin=$(realpath "$1") && [ -x "$Bin" ] || { echo "no binary: $1"; exit 1; }
if ! command -v python3 >/dev/null || ! python3 -c 'import xml.parsers.expat' 2>/dev/null; then
  echo "SKIP: no python3 with expat"
  exit 0
fi
Work=$(mktemp -d) && trap 'rm -rf "$Work"' EXIT
cd "$Work" || exit 1
export TZ=UTC

python3 - "$Bin" <<'EOF'
import subprocess, sys, xml.parsers.expat as Expat

Bin = sys.argv[1]
Failures = []

def accepted(Document):
    Parser = Expat.ParserCreate()
    try:
        Parser.Parse(Document, True)
        return True
    except Expat.ExpatError:
        return False

def startsName(Char):
    return accepted("<" + Char + "/>")

def insideName(Char):
    return accepted("<a" + Char + "/>")

def expected(Char, Encode):
    """The names of the cells "a"+Char and Char+"a": a character that does not fit becomes one
    '_' for each of its bytes, and a name that cannot start with it gets a '_' in front."""
    Inner = Char if insideName(Char) else "_" * len(Encode(Char))
    Start = Char + "a" if startsName(Char) else "_" + Inner + "a"
    return ["a" + Inner, Start]

def convert(Chars, Encoding, Label):
    Encode = (lambda C: C.encode(Encoding))
    Cells = []
    Wanted = []
    for Char in Chars:
        Cells += ["a" + Char, Char + "a"]
        Wanted += expected(Char, Encode)
    Mark = b"\xef\xbb\xbf" if Encoding == "utf-8" else b""
    with open("in.csv", "wb") as File:
        File.write(Mark + ";".join(Cells).encode(Encoding) + b"\nx\n")
    Document = "UTF-8" if Encoding == "utf-8" else "ISO-8859-1"
    Run = subprocess.run([Bin, "-s:in.csv", "-t:out.xml", "-e:" + Document, "-m:1"],
                         capture_output=True)
    if Run.returncode != 0:
        Failures.append("%s: exit %d: %s" % (Label, Run.returncode, Run.stderr[:300]))
        return
    Names = []
    Parser = Expat.ParserCreate(namespace_separator=" ")
    Parser.StartElementHandler = lambda Name, Attributes: Names.append(Name)
    try:
        with open("out.xml", "rb") as File:
            Parser.ParseFile(File)
    except Expat.ExpatError as Error:
        Failures.append("%s: expat: %s" % (Label, Error))
        return
    Names = Names[2:]  # the root and the record
    if len(Names) != len(Wanted):
        Failures.append("%s: %d names, want %d" % (Label, len(Names), len(Wanted)))
        return
    for Cell, Got, Want in zip(Cells, Names, Wanted):
        if Got != Want:
            Failures.append("%s: U+%04X in %r gives %r, want %r"
                            % (Label, ord(Cell[0] if Cell[0] != "a" else Cell[1]), Cell, Got, Want))

BMP = [chr(C) for C in range(0x80, 0x10000) if not 0xD800 <= C <= 0xDFFF]
Chunk = 8000  # ten bytes or less a character: the header stays below the line limit
for At in range(0, len(BMP), Chunk):
    Part = BMP[At:At + Chunk]
    convert(Part, "utf-8", "UTF-8 U+%04X to U+%04X" % (ord(Part[0]), ord(Part[-1])))
convert([chr(C) for C in range(0x80, 0x100)], "latin-1", "ISO-8859-1")
# a few beyond U+FFFF, which the earlier editions never allow
convert([chr(C) for C in (0x10000, 0x1F600, 0x20000, 0xE0100)], "utf-8", "beyond U+FFFF")

for Failure in Failures[:40]:
    print("FAIL: " + Failure)
if Failures:
    print("%d failures" % len(Failures))
    sys.exit(1)
print("names_expat_classes: all checks passed")
EOF

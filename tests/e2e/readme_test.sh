#!/usr/bin/env bash
# tests/e2e/readme_test.sh BINARY: README.md shows what the program prints.
# - The first command converts the bundled example into UTF-8 (Zürich reads right).
# - The test command is the one .ci/run runs, and the packages it names are installed by
#   tests/install_deps.sh.
# - Every XML block is, byte for byte, what the command before it writes for the sources the
#   README shows (a block holding records only is a part of the document).
set -u
Bin=$(realpath "$1")
Root=$(cd "$(dirname "$0")/../.." && pwd)
Work=$(mktemp -d) && trap 'rm -rf "$Work"' EXIT
command -v python3 >/dev/null || { echo "FAIL: python3 is needed to read README.md"; exit 1; }

python3 - "$Bin" "$Root" "$Work" <<'EOF'
import os, re, shlex, subprocess, sys

Bin, Root, Work = sys.argv[1:4]
Failures = []
def fail(Text):
    Failures.append(Text)
    print("FAIL: " + Text)

Readme = open(os.path.join(Root, "README.md"), encoding="utf-8").read()
# (info string, text, the prose between the previous block and this one)
Blocks = []
Last = 0
for Match in re.finditer(r"^```(\w*)\n(.*?)^```\n", Readme, re.M | re.S):
    Blocks.append((Match.group(1), Match.group(2), Readme[Last:Match.start()]))
    Last = Match.end()
Shell = [Text for Kind, Text, _ in Blocks if Kind == "sh"]

# The first command: UTF-8 on the way out.
First = Shell[0].strip()
Convert = First.split("&&")[-1].split()
if Convert[:1] != ["build/quillon"] or "-e:UTF-8" not in Convert:
    fail("the first command does not convert with -e:UTF-8: " + First)
else:
    Run = subprocess.run([Bin] + Convert[1:], cwd=Root, capture_output=True)
    try:
        Text = Run.stdout.decode("utf-8")
        if "Zürich" not in Text or 'encoding="UTF-8"' not in Text:
            fail("the first command's document does not hold Zürich in UTF-8")
    except UnicodeDecodeError:
        fail("the first command's document is not UTF-8")
    if Run.returncode != 0:
        fail("the first command ends with status %d" % Run.returncode)

# The test command is the one CI runs; the packages named are the ones installed.
Tests = Shell[1].strip()
CiLines = open(os.path.join(Root, ".ci/run"), encoding="utf-8").read().splitlines()
if Tests not in CiLines:
    fail(".ci/run does not run README's test command: " + Tests)
if not Tests.startswith("tests/install_deps.sh && "):
    fail("README's test command does not install what the tests need first")
Deps = open(os.path.join(Root, "tests/install_deps.sh"), encoding="utf-8").read()
Listed = set(re.sub(r"#.*", "", Deps[Deps.index("Packages=("):Deps.index('"$@"')]).split()[1:])
for Kind, Text, Prose in Blocks[:3]:
    for Name in re.findall(r"`([a-z0-9][a-z0-9.+-]*)`", Prose):
        if (Name.endswith(("-dev", "-utils")) or Name in ("groff", "lintian", "python3")) and Name not in Listed:
            fail("README names the package %s, which tests/install_deps.sh does not install" % Name)

# The sources the README shows, as files with the time stamp of the documents.
def source(After, Name, Encoding):
    for Kind, Text, Prose in Blocks:
        if Kind == "" and After in Prose:
            with open(os.path.join(Work, Name), "wb") as File:
                File.write(Text.encode(Encoding))
            return
    fail("no source %s after '%s'" % (Name, After))
source("One small source, `cities.csv`", "cities.csv", "ascii")
source("The export, shown here as text", "export.csv", "cp1252")
for Name in ("cities.csv", "export.csv"):
    Path = os.path.join(Work, Name)
    if os.path.exists(Path):
        subprocess.run(["touch", "-t", "200703051407.09", Path], check=True)

Checked = 0
Command = None
Gallery = None
for Index, (Kind, Text, Prose) in enumerate(Blocks):
    if Kind != "xml":
        continue
    Inline = re.findall(r"`(quillon [^`]*)`", Prose)
    Layout = re.search(r"^`(-m:\d)`", Prose, re.M)
    Target = None
    if Inline:
        Command = shlex.split(Inline[-1])
        Gallery = Command
    elif Layout and Gallery:
        Command = [Layout.group(1) if A.startswith("-m:") else A for A in Gallery]
    elif Prose.strip() == "" and Index > 0 and Blocks[Index - 1][0] == "sh":
        Command = shlex.split(Blocks[Index - 1][1].replace("\\\n", " "))
    else:
        fail("no command for the XML block starting " + Text.splitlines()[0])
        continue
    Args = Command[1:]
    Targets = [A[3:] for A in Args if A.startswith("-t:")]
    Run = subprocess.run([Bin] + Args, cwd=Work, capture_output=True, env=dict(os.environ, TZ="UTC"))
    if Run.returncode != 0:
        fail("%s ends with status %d: %s" % (" ".join(Command), Run.returncode, Run.stderr.decode("latin-1")))
        continue
    if Targets and Targets[-1] != "-":
        Got = open(os.path.join(Work, Targets[-1]), "rb").read()
    else:
        Got = Run.stdout
    Encoding = "utf-8" if b'encoding="UTF-8"' in Got else "latin-1"
    Got = Got.decode(Encoding)
    Whole = Text.startswith("<?xml")
    if (Whole and Got != Text) or (not Whole and Text not in Got):
        fail("README shows for %s:\n%s\nbut the program writes:\n%s" % (" ".join(Command), Text, Got))
    Checked += 1
if Checked < 7:
    fail("only %d XML blocks were checked" % Checked)
print("%d XML blocks of README.md checked" % Checked)
sys.exit(1 if Failures else 0)
EOF

#!/usr/bin/env bash
# tests/e2e/docs_install_test.sh BINARY: `cmake --install` of the build that made BINARY puts
# the program, the man page, the PDF manual and the examples under a fresh prefix, and the
# installed program runs. The PDF is checked only where groff can write PDF (else SKIP).
set -u
Bin=$1
Build=$(cd "$(dirname "$Bin")" && pwd)
Root=$(cd "$(dirname "$0")/../.." && pwd)
Fail=0
Work=$(mktemp -d) && trap 'rm -rf "$Work"' EXIT
fail() { echo "FAIL: $*"; Fail=1; }

[ -f "$Build/CMakeCache.txt" ] || { echo "FAIL: $Build is no CMake build directory"; exit 1; }
Prefix=$Work/prefix
cmake --install "$Build" --prefix "$Prefix" >"$Work/install.log" 2>&1 ||
  { cat "$Work/install.log"; echo "FAIL: cmake --install failed"; exit 1; }

Doc=$Prefix/share/doc/quillon
[ -x "$Prefix/bin/quillon" ] || fail "bin/quillon is missing or not executable"
cmp -s "$Root/docs/quillon.1" "$Prefix/share/man/man1/quillon.1" ||
  fail "share/man/man1/quillon.1 is missing or differs from docs/quillon.1"

# every example of the source tree, byte for byte, executable ones still executable
Examples=0
for Example in "$Root"/examples/*; do
  [ -f "$Example" ] || continue
  Examples=$((Examples + 1))
  Name=${Example##*/}
  cmp -s "$Example" "$Doc/examples/$Name" || fail "example $Name is missing or differs"
  if [ -x "$Example" ] && [ ! -x "$Doc/examples/$Name" ]; then
    fail "example $Name lost its execute permission"
  fi
done
[ $Examples -gt 0 ] || fail "the source tree has no examples to install"

Probe=$Work/probe.1
printf '.TH PROBE 1\n.SH NAME\nprobe \\- probe\n' >"$Probe"
if command -v groff >/dev/null && groff -man -Tpdf "$Probe" 2>/dev/null | head -c 5 | grep -q '%PDF-'; then
  if [ ! -f "$Doc/quillon.pdf" ]; then
    fail "share/doc/quillon/quillon.pdf is missing"
  elif ! head -c 5 "$Doc/quillon.pdf" | grep -q '%PDF-'; then
    fail "share/doc/quillon/quillon.pdf is no PDF document"
  elif [ "$(stat -c %s "$Doc/quillon.pdf")" -lt 20000 ]; then
    fail "share/doc/quillon/quillon.pdf is too small to hold the manual"
  fi
else
  echo "SKIP: groff cannot write PDF here (Debian package groff); quillon.pdf not checked"
fi

# the installed program converts the installed example
if [ -x "$Prefix/bin/quillon" ] && [ -f "$Doc/examples/cities.csv" ]; then
  (cd "$Work" && "$Prefix/bin/quillon" -s:"$Doc/examples/cities.csv" -t:- -m:5) >"$Work/out.xml" ||
    fail "the installed program did not convert the installed example"
  grep -q '<!-- [0-9][0-9]* records written -->' "$Work/out.xml" ||
    fail "the installed program wrote no complete document"
fi
[ $Fail = 0 ] && echo "installed: $(cd "$Prefix" && find . -type f | sort | tr '\n' ' ')"
exit $Fail

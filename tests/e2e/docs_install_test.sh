#!/usr/bin/env bash
# tests/e2e/docs_install_test.sh BINARY: `cmake --install` of the build that made BINARY puts
# the program, the compressed man page, the PDF manual, the copyright and changelog and the
# examples under a fresh prefix, and the installed program runs. Whether a PDF is expected is
# what the build decided when it was configured (generated/quillon_build.h), not what the
# machine can do now.
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
Man=$Prefix/share/man/man1
if [ -f "$Man/quillon.1.gz" ]; then
  gzip -dc "$Man/quillon.1.gz" | cmp -s "$Root/docs/quillon.1" - ||
    fail "share/man/man1/quillon.1.gz does not unpack to docs/quillon.1"
  [ ! -e "$Man/quillon.1" ] || fail "the man page is installed twice, plain and compressed"
else
  command -v gzip >/dev/null && fail "share/man/man1/quillon.1.gz is missing"
  cmp -s "$Root/docs/quillon.1" "$Man/quillon.1" ||
    fail "share/man/man1/quillon.1 is missing or differs from docs/quillon.1"
fi
# the licence travels with every installed copy
grep -qxF 'Copyright: 2026 the quillon developers' "$Doc/copyright" 2>/dev/null ||
  fail "share/doc/quillon/copyright is missing or does not hold the licence's notice"
grep -qF 'Permission is hereby granted, free of charge' "$Doc/copyright" 2>/dev/null ||
  fail "share/doc/quillon/copyright does not hold the licence's text"

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

Decision=$Build/generated/quillon_build.h
[ -f "$Decision" ] || fail "the build has no generated/quillon_build.h"
PdfPlace=$(sed -n 's/^#define QUILLON_MANUAL_PDF "\(.*\)"$/\1/p' "$Decision")
if [ -n "$PdfPlace" ]; then
  ConfiguredPrefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$Build/CMakeCache.txt")
  [ "$PdfPlace" = "$ConfiguredPrefix/share/doc/quillon/quillon.pdf" ] ||
    fail "the program names $PdfPlace, not the PDF's place below $ConfiguredPrefix"
  if [ ! -f "$Doc/quillon.pdf" ]; then
    fail "share/doc/quillon/quillon.pdf is missing"
  elif ! head -c 5 "$Doc/quillon.pdf" | grep -q '%PDF-'; then
    fail "share/doc/quillon/quillon.pdf is no PDF document"
  elif [ "$(stat -c %s "$Doc/quillon.pdf")" -lt 20000 ]; then
    fail "share/doc/quillon/quillon.pdf is too small to hold the manual"
  fi
else
  echo "NOTE: this build makes no PDF (configured without groff's PDF device)"
  [ ! -e "$Doc/quillon.pdf" ] || fail "quillon.pdf is installed though the build made none"
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

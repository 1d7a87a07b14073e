#!/usr/bin/env bash
# tests/e2e/docs_deb_test.sh BINARY: the sources build where only a compiler and CMake are at
# hand, and give a clean Debian package.
# - Configured with GoogleTest hidden, CMake says so in one line and builds the program, which
#   converts the bundled example as README's first command does; the tests can be switched off
#   with BUILD_TESTING=OFF and with the older QUILLON_TESTS=OFF.
# - That build, configured for /usr, gives with `cpack -G DEB` a package named quillon whose
#   control fields and contents (dpkg-deb -c) are right, whose program runs once unpacked and
#   names the place of its PDF, and which lintian passes without a remark where lintian is
#   installed. The PDF is expected where that build decided to make one.
# BINARY only locates the sources; the package is built in a scratch directory.
set -u
Root=$(cd "$(dirname "$0")/../.." && pwd)
Fail=0
Work=$(mktemp -d) && trap 'rm -rf "$Work"' EXIT
fail() { echo "FAIL: $*"; Fail=1; }

for Tool in cmake cpack dpkg dpkg-deb; do
  command -v $Tool >/dev/null || { echo "FAIL: $Tool is needed to build and read the package"; exit 1; }
done

# Switching the tests off: no notice, no tests.
for Switch in -DBUILD_TESTING=OFF -DQUILLON_TESTS=OFF; do
  cmake -S "$Root" -B "$Work/off" "$Switch" >"$Work/off.log" 2>&1 ||
    { cat "$Work/off.log"; fail "configuring with $Switch failed"; }
  grep -q GoogleTest "$Work/off.log" && fail "$Switch: configuring talks about GoogleTest"
  [ -e "$Work/off/tests" ] && fail "$Switch: the tests are configured all the same"
  rm -rf "$Work/off"
done

# README's first command, on a machine without GoogleTest.
Build=$Work/build
cmake -S "$Root" -B "$Build" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_INSTALL_PREFIX=/usr \
  >"$Work/configure.log" 2>&1 || { cat "$Work/configure.log"; echo "FAIL: configuring without GoogleTest failed"; exit 1; }
Notices=$(grep -c GoogleTest "$Work/configure.log")
[ "$Notices" = 1 ] || fail "configuring without GoogleTest says so in $Notices lines, not one"
grep -qxF 'quillon: GoogleTest not found (Debian package libgtest-dev); building the program without the tests' \
  "$Work/configure.log" || fail "no notice naming GoogleTest and its package: $(grep GoogleTest "$Work/configure.log")"
cmake --build "$Build" -j 2 >"$Work/build.log" 2>&1 ||
  { tail -30 "$Work/build.log"; echo "FAIL: building without GoogleTest failed"; exit 1; }
[ -e "$Build/tests" ] && fail "the tests are configured without GoogleTest"
(cd "$Root" && "$Build/quillon" -s:examples/cities.csv -t:- -e:UTF-8) >"$Work/cities.xml" ||
  fail "the program built without GoogleTest does not convert the example"
grep -q 'Zürich' "$Work/cities.xml" || fail "README's first command does not write Zürich in UTF-8"

# The package.
Version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$Build/CMakeCache.txt")
Arch=$(dpkg --print-architecture)
(cd "$Build" && cpack -G DEB -B "$Work/out") >"$Work/cpack.log" 2>&1 ||
  { cat "$Work/cpack.log"; echo "FAIL: cpack -G DEB failed"; exit 1; }
Deb=$Work/out/quillon_${Version}_$Arch.deb
[ -f "$Deb" ] || { ls "$Work/out"; echo "FAIL: no quillon_${Version}_$Arch.deb"; exit 1; }

field() { dpkg-deb -f "$Deb" "$1"; }
[ "$(field Package)" = quillon ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$Version" ] || fail "Version is '$(field Version)', not $Version"
[ "$(field Architecture)" = "$Arch" ] || fail "Architecture is '$(field Architecture)', not $Arch"
[ "$(field Section)" = utils ] || fail "Section is '$(field Section)'"
[ "$(field Maintainer)" = "quillon developers <quillon@example.org>" ] ||
  fail "Maintainer is '$(field Maintainer)'"
field Description | grep -q 'CSV' || fail "the description does not say what quillon does"
field Depends | grep -q 'libc6' || fail "Depends does not name the C library: '$(field Depends)'"

dpkg-deb -c "$Deb" >"$Work/contents" || fail "dpkg-deb -c cannot list the package"
echo "package contents:"
awk '{print "  " $1 " " $NF}' "$Work/contents"
listed() { grep -qE " \./$1\$" "$Work/contents"; }
listed 'usr/bin/quillon' || fail "usr/bin/quillon is not in the package"
grep -qE '^-rwxr-xr-x .* \./usr/bin/quillon$' "$Work/contents" || fail "usr/bin/quillon is not executable"
for File in usr/share/man/man1/quillon.1.gz usr/share/doc/quillon/copyright \
  usr/share/doc/quillon/changelog.gz usr/share/lintian/overrides/quillon; do
  listed "${File//./\\.}" || fail "$File is not in the package"
done
listed 'usr/share/man/man1/quillon\.1' && fail "the man page is in the package uncompressed"
for Example in "$Root"/examples/*; do
  [ -f "$Example" ] && { listed "usr/share/doc/quillon/examples/${Example##*/}" ||
    fail "example ${Example##*/} is not in the package"; }
done
PdfPlace=$(sed -n 's/^#define QUILLON_MANUAL_PDF "\(.*\)"$/\1/p' "$Build/generated/quillon_build.h")
PdfNotices=$(grep -c 'quillon.pdf is not built' "$Work/configure.log")
if [ -n "$PdfPlace" ]; then
  [ "$PdfPlace" = /usr/share/doc/quillon/quillon.pdf ] || fail "the packaged program names $PdfPlace"
  listed 'usr/share/doc/quillon/quillon\.pdf' || fail "quillon.pdf is not in the package"
  [ "$PdfNotices" = 0 ] || fail "configuring says the PDF is not built, yet it is"
else
  echo "NOTE: this build makes no PDF (configured without groff's PDF device)"
  [ "$PdfNotices" = 1 ] || fail "configuring says $PdfNotices times that no PDF is built, not once"
  listed 'usr/share/doc/quillon/quillon\.pdf' && fail "quillon.pdf is in the package though none was built"
fi
# nothing outside /usr, and no build or test files
grep -vE ' \./(usr/.*)?$' "$Work/contents" && fail "files outside /usr in the package"
grep -qE 'CMake|_test|\.o$|\.a$' "$Work/contents" && fail "build files in the package"

# the packaged program runs, and its files say what they should
dpkg-deb -x "$Deb" "$Work/root" || fail "dpkg-deb -x cannot unpack the package"
Doc=$Work/root/usr/share/doc/quillon
"$Work/root/usr/bin/quillon" --version >"$Work/banner" 2>&1 || fail "the packaged quillon --version failed"
grep -q "V$Version" "$Work/banner" || fail "the packaged program's banner does not name V$Version"
"$Work/root/usr/bin/quillon" --help >"$Work/usage" || fail "the packaged quillon --help failed"
if [ -n "$PdfPlace" ]; then
  grep -qF "/usr/share/doc/quillon/quillon.pdf" "$Work/usage" || fail "the usage text does not name /usr/share/doc/quillon/quillon.pdf"
else
  grep -q 'share/doc' "$Work/usage" && fail "the usage text names a PDF that was not built"
fi
gzip -dc "$Doc/changelog.gz" | head -n 1 | grep -qF "quillon ($Version)" ||
  fail "changelog.gz does not begin with the entry for $Version"
grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$Doc/copyright" ||
  fail "copyright is not in Debian's machine-readable format"
gzip -dc "$Work/root/usr/share/man/man1/quillon.1.gz" | cmp -s "$Root/docs/quillon.1" - ||
  fail "the packaged man page is not docs/quillon.1"

if command -v lintian >/dev/null; then
  # lintian refuses to work as root without a word; the remark is no finding
  lintian -I -E --pedantic "$Deb" >"$Work/lintian.out" 2>&1
  Status=$?
  grep -v '^running with root privileges is not recommended!$' "$Work/lintian.out" >"$Work/findings"
  if [ $Status -ne 0 ] || [ -s "$Work/findings" ]; then
    fail "lintian -I -E --pedantic (status $Status):"
    cat "$Work/findings"
  fi
  # every override gives its reason on the line above it
  awk 'NF && !/^#/ && prev !~ /^#/ {print "override without a reason: " $0; bad=1} {prev=$0} END {exit bad}' \
    "$Work/root/usr/share/lintian/overrides/quillon" || fail "an override has no reason"
else
  echo "SKIP: lintian is not installed (apt-get install lintian); the package was not checked by it"
fi
exit $Fail

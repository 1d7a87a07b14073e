#!/usr/bin/env bash
# tests/e2e/docs_deb_test.sh BINARY: `cpack -G DEB` on the build that made BINARY gives a
# Debian package named quillon whose control fields and contents (dpkg-deb -c) are right, and
# whose program runs once unpacked. The PDF is expected only where groff can write PDF.
set -u
Bin=$1
Build=$(cd "$(dirname "$Bin")" && pwd)
Root=$(cd "$(dirname "$0")/../.." && pwd)
Fail=0
Work=$(mktemp -d) && trap 'rm -rf "$Work"' EXIT
fail() { echo "FAIL: $*"; Fail=1; }

for Tool in cpack dpkg dpkg-deb; do
  command -v $Tool >/dev/null || { echo "FAIL: $Tool is needed to build and read the package"; exit 1; }
done
[ -f "$Build/CPackConfig.cmake" ] || { echo "FAIL: $Build has no CPackConfig.cmake"; exit 1; }
Version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$Build/CMakeCache.txt")
Arch=$(dpkg --print-architecture)

# the staging tree and the package go to the scratch directory, never into the build
(cd "$Work" && cpack -G DEB --config "$Build/CPackConfig.cmake" -B "$Work/out") >"$Work/cpack.log" 2>&1 ||
  { cat "$Work/cpack.log"; echo "FAIL: cpack -G DEB failed"; exit 1; }
Deb=$Work/out/quillon_${Version}_$Arch.deb
[ -f "$Deb" ] || { ls "$Work/out"; echo "FAIL: no quillon_${Version}_$Arch.deb"; exit 1; }

field() { dpkg-deb -f "$Deb" "$1"; }
[ "$(field Package)" = quillon ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$Version" ] || fail "Version is '$(field Version)', not $Version"
[ "$(field Architecture)" = "$Arch" ] || fail "Architecture is '$(field Architecture)', not $Arch"
[ "$(field Section)" = utils ] || fail "Section is '$(field Section)'"
[ "$(field Maintainer)" = "quillon developers" ] || fail "Maintainer is '$(field Maintainer)'"
field Description | grep -q 'CSV' || fail "the description does not say what quillon does"
field Depends | grep -q 'libc6' || fail "Depends does not name the C library: '$(field Depends)'"

dpkg-deb -c "$Deb" >"$Work/contents" || fail "dpkg-deb -c cannot list the package"
echo "package contents:"
awk '{print "  " $1 " " $NF}' "$Work/contents"
listed() { grep -qE " \./$1\$" "$Work/contents"; }
listed 'usr/bin/quillon' || fail "usr/bin/quillon is not in the package"
grep -qE '^-rwxr-xr-x .* \./usr/bin/quillon$' "$Work/contents" || fail "usr/bin/quillon is not executable"
listed 'usr/share/man/man1/quillon\.1(\.gz)?' || fail "the man page is not in the package"
for Example in "$Root"/examples/*; do
  [ -f "$Example" ] && { listed "usr/share/doc/quillon/examples/${Example##*/}" ||
    fail "example ${Example##*/} is not in the package"; }
done
Probe=$Work/probe.1
printf '.TH PROBE 1\n.SH NAME\nprobe \\- probe\n' >"$Probe"
if command -v groff >/dev/null && groff -man -Tpdf "$Probe" 2>/dev/null | head -c 5 | grep -q '%PDF-'; then
  listed 'usr/share/doc/quillon/quillon\.pdf' || fail "quillon.pdf is not in the package"
else
  echo "SKIP: groff cannot write PDF here (Debian package groff); quillon.pdf not expected"
fi
# nothing outside /usr, and no build or test files
grep -vE ' \./(usr/.*)?$' "$Work/contents" && fail "files outside /usr in the package"
grep -qE 'CMake|_test|\.o$|\.a$' "$Work/contents" && fail "build files in the package"

# the packaged program runs
dpkg-deb -x "$Deb" "$Work/root" || fail "dpkg-deb -x cannot unpack the package"
"$Work/root/usr/bin/quillon" -V 2>"$Work/banner" || fail "the packaged quillon -V failed"
grep -q "V$Version" "$Work/banner" || fail "the packaged program's banner does not name V$Version"
exit $Fail

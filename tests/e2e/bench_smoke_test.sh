#!/usr/bin/env bash
# The benchmark command still starts and measures: bench/run.sh on a ~100 KB input with the
# given binary, no Release build. Checks the table's shape, that every quillon run converted,
# that quillon's layout-1 records equal those of the Python script it is compared with, and
# that CPU time is set against the script's.
set -uo pipefail

Quillon=$1
Root=$(cd "$(dirname "$0")/../.." && pwd)
Work=$(mktemp -d)
trap 'rm -rf "$Work"' EXIT

fail() {
  echo "FAIL: $*"
  echo "--- output of bench/run.sh"
  cat "$Work/table"
  exit 1
}

if ! bash "$Root/bench/run.sh" --quillon "$Quillon" --no-build --sizes 0.1 --repeat 1 \
  --data-dir "$Work/data" >"$Work/table" 2>&1; then
  fail "bench/run.sh ended with a failure status"
fi

grep -q '^input  *case  *sink  *wall s  *cpu s  *in MB/s  *RSS MiB  *output bytes' "$Work/table" ||
  fail "no table header"
grep -q '^100 kB  *floor: cat input > /dev/null ' "$Work/table" || fail "no floor row"
Rows=$(grep -c '^100 kB  *quillon -m:[135]' "$Work/table")
[ "$Rows" = 12 ] || fail "expected 12 quillon rows (3 layouts, 2 encodings, 2 sinks), got $Rows"
if command -v gzip >/dev/null; then
  grep -Eq '^100 kB  *gzip source: quillon -m:1  */dev/null  *[0-9]+\.[0-9]{3} ' "$Work/table" ||
    fail "no gzip source row"
  grep -q '^gzip: 100 kB source .* quillon -m:1 .* gzip -dc .*, target <= 1.20x ' "$Work/table" ||
    fail "no gzip figures"
fi
Scripts=$(grep -c '^100 kB  *script: baseline.py' "$Work/table")
[ "$Scripts" = 4 ] || fail "expected 4 rows of the Python script, got $Scripts"
if grep -E '^100 kB .* exit [0-9]+' "$Work/table" >/dev/null; then
  fail "a measured run did not end with status 0"
fi
# every quillon row has a wall time, an input rate and a positive output size
while read -r Line; do
  echo "$Line" | grep -Eq 'quillon [^ ]*( -e:UTF-8)? +(/dev/null|file) +[0-9]+\.[0-9]{3} +[0-9]+\.[0-9]{3} +[0-9]+\.[0-9] +[0-9.na/]+ +[1-9][0-9]+ ' ||
    fail "row without measurements: $Line"
done < <(grep '^100 kB  *quillon' "$Work/table")
# the ASCII input's layout-1 rows and the target line set CPU time against the script's
Row='^100 kB  *ASCII: quillon -m:1( -e:UTF-8)?  */dev/null( +[0-9.na/]+){4}'
Ascii=$(grep -Ec "$Row +[0-9]+\.[0-9] +[0-9]+\.[0-9]\$" "$Work/table")
[ "$Ascii" = 2 ] || fail "expected 2 ASCII rows with times against the script's, got $Ascii"
Cpu='[0-9]+\.[0-9]{3} s against [0-9]+\.[0-9]{3} s = 1/[0-9]+\.[0-9]'
grep -Eq "^target: ASCII input, layout 1 to /dev/null, CPU <= 1/35 .*: $Cpu, (not )?met\$" \
  "$Work/table" || fail "no CPU time against the script's among the targets"
grep -q '^check: quillon -m:1 records identical to the script' "$Work/table" ||
  fail "layout-1 records differ from the script's"
grep -q '^check: quillon -m:1 -e:UTF-8 records identical to the script' "$Work/table" ||
  fail "layout-1 UTF-8 records differ from the script's"
[ -z "$(ls "$Work/data" | grep -v '^input_')" ] || fail "the output file was left behind"
echo "ok"

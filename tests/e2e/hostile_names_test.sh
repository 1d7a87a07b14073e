#!/usr/bin/env bash
# File names with blanks, quotation marks, ampersands, angle brackets, line feeds and bytes from
# 0x80 up: opened as given, the derived target named after them, and the name written into a
# well-formed document.
set -u
. "$(dirname "$0")/hostile_common.sh"

Names=(
  "with space.csv"
  "double\"quote.csv"
  "single'quote.csv"
  "amp&lt<gt>&#38;.csv"
  $'line\nfeed.csv'
  $'tab\there.csv'
  $'latin1 caf\xe9.csv'
  $'utf8 caf\xc3\xa9 \xe2\x82\xac.csv'
  "-dash.csv"
  " lead and trail .csv"
)
for Name in "${Names[@]}"; do
  Label=$(printf '%q' "$Name")
  Target="./${Name%.csv}.xml" # ./ keeps a leading dash from reading as an option
  printf 'a;b\n1;2\n' >"$Name"
  runBounded 30 /dev/null "-s:$Name" -t
  expectStatus "$Label" 0 "$Status"
  if [ ! -f "$Target" ]; then
    fail "$Label: no target $(printf '%q' "$Target"): $(ls)"
    continue
  fi
  wellFormed "$Label" "$Target"
  [ "$(recordsWritten "$Target")" = 1 ] || fail "$Label: not 1 record"
  # the source attribute gives the name back, line feeds and tabs included: its bytes are read
  # as Windows-1252, whose characters beyond ISO-8859-1 the document holds as references
  if command -v xmllint >/dev/null; then
    Got=$(xmllint --xpath 'string(/*/@source)' "$Target" 2>/dev/null | iconv -f UTF-8 -t CP1252 2>/dev/null)
    Want=$Name
    [ "$Got" = "$Want" ] || fail "$Label: source attribute $(printf '%q' "$Got")"
  fi
  # an explicit target of the same kind
  runBounded 30 /dev/null "-s:$Name" "-t:copy of ${Target#./}"
  expectStatus "$Label, explicit target" 0 "$Status"
  cmp -s <(grep -v datetime "$Target") <(grep -v datetime "copy of ${Target#./}") ||
    fail "$Label: the two documents differ"
  rm -f -- "$Name" "$Target" "copy of ${Target#./}"
done

[ "$Fail" -eq 0 ] && echo "hostile names: all passed"
exit "$Fail"

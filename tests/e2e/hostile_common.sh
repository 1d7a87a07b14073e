# Sourced by the end-to-end scripts, the hostile_*_test.sh ones first: a scratch directory,
# checks that count failures, and the limits a run must keep. Not a test of its own.
Bin=${1:?usage: $0 PATH_TO_QUILLON}
Bin=$(cd "$(dirname "$Bin")" && pwd)/$(basename "$Bin")
Fail=0
Work=$(mktemp -d) || exit 1
trap 'chmod -R u+rwx "$Work" 2>/dev/null; rm -rf "$Work"' EXIT
cd "$Work" || exit 1
export TZ=UTC

# A sanitizer build is slower and keeps more memory.
Sanitized=0
if ldd "$Bin" 2>/dev/null | grep -qE 'libasan|libubsan'; then
  Sanitized=1
fi
MaxRssKb=65536
[ "$Sanitized" -eq 1 ] && MaxRssKb=1048576

fail() {
  echo "FAIL: $*"
  Fail=1
}
expectStatus() { # NAME WANT GOT
  [ "$2" = "$3" ] || fail "$1: exit status $3, want $2"
}
expectLine() { # NAME FILE LINE: the file holds the line exactly
  grep -qxF -- "$3" "$2" || fail "$1: no line '$3' in $2: $(head -c 400 "$2")"
}
expectNoFile() { # NAME PATH
  [ ! -e "$2" ] || fail "$1: $2 exists"
}
wellFormed() { # NAME FILE
  if command -v xmllint >/dev/null; then
    xmllint --noout --huge "$2" 2>"$Work/xmllint.err" ||
      fail "$1: not well-formed: $(head -c 400 "$Work/xmllint.err")"
  fi
}
recordsWritten() { # FILE: the count of the closing comment
  sed -n 's/^<!-- \([0-9]*\) records written -->$/\1/p' "$1"
}

# Runs the binary with a time limit, noting its peak memory where /usr/bin/time can tell.
# Sets Status and PeakKb (empty when unknown).
runBounded() { # SECONDS STDIN ARGS...
  local Limit=$1 Input=$2
  shift 2
  PeakKb=
  if [ -x /usr/bin/time ]; then
    timeout "$Limit" /usr/bin/time -o "$Work/time.out" -f '%M' "$Bin" "$@" <"$Input" \
      >"$Work/out" 2>"$Work/err"
    Status=$?
    PeakKb=$(tail -1 "$Work/time.out" 2>/dev/null)
    # time reports a signal as its own line before the figure
    [[ $PeakKb =~ ^[0-9]+$ ]] || PeakKb=
  else
    timeout "$Limit" "$Bin" "$@" <"$Input" >"$Work/out" 2>"$Work/err"
    Status=$?
  fi
}
expectBounded() { # NAME
  [ "$Status" -ne 124 ] || fail "$1: still running after its time limit"
  if [ -n "$PeakKb" ] && [ "$PeakKb" -gt "$MaxRssKb" ]; then
    fail "$1: peak memory ${PeakKb} KB, limit ${MaxRssKb} KB"
  fi
}

#!/usr/bin/env bash
# tests/e2e/durable_target.sh BINARY FAULT_SHIM: the target holds through what a run cannot
# see coming: the document is on the disk before its name is, a signal that lands on any thread
# at the worst moment, no thread at all, a file-size limit, a target the user may not write,
# and targets whose rename the system refuses.
set -u
Shim=$(realpath "$2")
. "$(dirname "$0")/hostile_common.sh"

records() { # COUNT: a header a;b and COUNT records
  printf 'a;b\n'
  seq 1 "$1" | sed 's/$/;x/'
}
noTemporary() { # NAME: no new file of a run is left behind
  local Left
  Left=$(find . -name '.*.quillon-*')
  [ -z "$Left" ] || fail "$1: left behind: $Left"
}
faulty() { # FAULT ARGS...: a run with the fault put in; sets Status
  QUILLON_FAULT=$1 QUILLON_FAULT_LOG=$Work/calls LD_PRELOAD=$Shim "$Bin" "${@:2}" >out 2>err
  Status=$?
}
# A run as an ordinary user, where this test may become one; nothing else changes.
Nobody=()
if [ "$(id -u)" = 0 ] && setpriv --reuid=65534 --regid=65534 --clear-groups true 2>/dev/null; then
  Nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  chmod 755 "$Work"
fi

records 3 >small.csv
# two read blocks and more: the read-ahead thread is still there when the target is created
records 400000 >big.csv
printf 'the old target\n' >old.want

# The preloaded faults need a program the loader may preload into; a sanitizer's runtime must
# come first.
if [ "$Sanitized" = 0 ] && ! ldd "$Bin" | grep -q libtsan; then
  # The document is on the disk before its name, and the name after it; standard output into
  # a file is synced too, a pipe is not.
  : >calls
  faulty log -s:small.csv -t:synced.xml
  expectStatus "sync" 0 "$Status"
  [ "$(tr '\n' ' ' <calls)" = "fdatasync rename fsync " ] || fail "sync: calls $(cat calls)"
  : >calls
  QUILLON_FAULT=log QUILLON_FAULT_LOG=$Work/calls LD_PRELOAD=$Shim "$Bin" -s:small.csv -t:- >stdout.xml
  [ "$(tr '\n' ' ' <calls)" = "fdatasync " ] || fail "sync of standard output: $(cat calls)"
  : >calls
  QUILLON_FAULT=log QUILLON_FAULT_LOG=$Work/calls LD_PRELOAD=$Shim "$Bin" -s:small.csv -t:- | cat >/dev/null
  [ -s calls ] && fail "a pipe was synced: $(cat calls)"

  # SIGTERM while the main thread holds the ending signals, with helper threads running: the
  # signal waits for the main thread. Right after the new file is created it is removed and the
  # old target stays; right after the rename it changes nothing any more.
  cp old.want old.xml
  faulty term-after-create -s:big.csv -t:old.xml
  expectStatus "SIGTERM after creating" 143 "$Status"
  cmp -s old.xml old.want || fail "SIGTERM after creating: the old target changed"
  noTemporary "SIGTERM after creating"
  faulty term-after-rename -s:big.csv -t:old.xml
  expectStatus "SIGTERM after the rename" 0 "$Status"
  [ "$(recordsWritten old.xml)" = 400000 ] || fail "SIGTERM after the rename: not the document"

  # No thread to be had: the main thread reads and writes, the same bytes come out.
  "$Bin" -s:big.csv -t:threads.xml 2>err || fail "a run with threads failed: $(cat err)"
  faulty no-threads -s:big.csv -t:alone.xml
  expectStatus "no threads" 0 "$Status"
  cmp -s threads.xml alone.xml || fail "no threads: another document"
  faulty no-threads -s:big.csv -t:alone.xml -v
  expectLine "no threads -v" err "-> no thread could be started: the source is read without reading ahead"
else
  echo "SKIP: faults put in with a preloaded library: a sanitizer's runtime must come first"
fi

# A file-size limit is a write error like a full disk, not the end of the process.
cp old.want old.xml
(
  ulimit -f 64
  "$Bin" -s:big.csv -t:old.xml 2>err
  echo $? >status
)
expectStatus "file-size limit" 9 "$(cat status)"
expectLine "file-size limit" err "          old.xml: File too large"
cmp -s old.xml old.want || fail "file-size limit: the old target changed"
noTemporary "file-size limit"

if [ ${#Nobody[@]} -gt 0 ]; then
  mkdir open && chmod 777 open
  # The process limit reached: no thread can start, the run goes on without. (A sanitizer's
  # leak check needs a thread of its own at the end.)
  if [ "$Sanitized" = 0 ]; then
    (
      ulimit -u 1
      "${Nobody[@]}" "$Bin" -s:big.csv -t:open/limited.xml 2>err
      echo $? >status
    )
    expectStatus "ulimit -u 1" 0 "$(cat status)"
    [ "$(recordsWritten open/limited.xml)" = 400000 ] || fail "ulimit -u 1: not the document"
  fi

  # A target its owner made read-only is refused, as > refuses it.
  cp old.want open/protected.xml && chmod 444 open/protected.xml && chown 65534 open/protected.xml
  "${Nobody[@]}" "$Bin" -s:small.csv -t:open/protected.xml 2>err
  expectStatus "read-only target" 9 "$?"
  expectLine "read-only target" err "          open/protected.xml: Permission denied"
  cmp -s open/protected.xml old.want || fail "read-only target: changed"
  noTemporary "read-only target"

  # Another user's file in a sticky folder cannot be renamed over: written in place.
  mkdir sticky && chmod 1777 sticky
  cp old.want sticky/theirs.xml && chmod 666 sticky/theirs.xml
  "${Nobody[@]}" "$Bin" -s:small.csv -t:sticky/theirs.xml -v 2>err
  expectStatus "sticky folder" 0 "$?"
  expectLine "sticky folder" err "-> the target is written in place: it belongs to another user in a folder with the sticky bit, which would refuse to replace it"
  [ "$(recordsWritten sticky/theirs.xml)" = 3 ] || fail "sticky folder: not the document"
  noTemporary "sticky folder"
else
  echo "SKIP: process limit, read-only and sticky-folder targets: cannot run as another user"
fi

# A file mounted on the target's name cannot be renamed over: written in place.
cp old.want mounted.xml
: >source-of-mount.xml
if mount --bind source-of-mount.xml mounted.xml 2>/dev/null; then
  "$Bin" -s:small.csv -t:mounted.xml -v 2>err
  expectStatus "mount point" 0 "$?"
  expectLine "mount point" err "-> the target is written in place: something is mounted on it, which cannot be replaced"
  [ "$(recordsWritten mounted.xml)" = 3 ] || fail "mount point: not the document"
  umount mounted.xml
  noTemporary "mount point"
else
  echo "SKIP: mount point: this machine does not let the test mount"
fi

[ "$Fail" = 0 ] && echo "durable target: all passed"
exit "$Fail"

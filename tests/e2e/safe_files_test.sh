#!/usr/bin/env bash
# What a user can rely on: the source is never written, a target is either the old file or the
# whole new document, closed or odd descriptors and readers that go away change no document,
# and each status means what it says.
set -u
. "$(dirname "$0")/hostile_common.sh"

records() { # COUNT LINES: a header a;b and COUNT records
  printf 'a;b\n'
  seq 1 "$1" | sed 's/$/;x/'
}
noTemporary() { # NAME: no new file of a run is left beside its target
  local Left
  Left=$(find . -name '.*.quillon-*')
  [ -z "$Left" ] || fail "$1: left behind: $Left"
}
waitFor() { # TEST...: up to ten seconds
  local I
  for I in $(seq 100); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
Same="Error : Target file must differ from the source file..."

# The source reached through standard input or output is still the source. ulimit -f keeps a
# run that reads its own output from filling the disk.
records 3 >data.csv
cp data.csv data.orig
while IFS='|' read -r Name Command; do
  (
    ulimit -f 2048
    eval "timeout 20 \"\$Bin\" $Command" 2>err
    echo $? >status
  )
  expectStatus "$Name" 9 "$(cat status)"
  expectLine "$Name" err "$Same"
  cmp -s data.csv data.orig || fail "$Name: the source changed"
  cp data.orig data.csv
done <<'EOF'
source from <, target by name|-s:- -t:data.csv <data.csv
source by name, target through >>|-s:data.csv -t:- >>data.csv
source from <, target through >>|-s:- -t:- <data.csv >>data.csv
source by name, target /dev/stdout through >>|-s:data.csv -t:/dev/stdout >>data.csv
source from <, target through <>|-s:- -t:- <data.csv 1<>data.csv
EOF
# a terminal or a pipe on both sides is no file to protect
records 2 | "$Bin" -s:- -t:- >piped.xml 2>err
expectStatus "pipe in, file out" 0 "$?"
[ "$(recordsWritten piped.xml)" = 2 ] || fail "pipe in, file out: not 2 records"
# /dev/stdout on a file writes through the descriptor the shell opened
"$Bin" -s:data.csv -t:/dev/stdout >>appended.xml 2>err
"$Bin" -s:data.csv -t:/dev/stdout >>appended.xml 2>>err
expectStatus "/dev/stdout appended" 0 "$?"
[ "$(grep -c 'records written' appended.xml)" = 2 ] || fail "/dev/stdout appended: not two documents"

# A target that cannot be written to its end keeps its old bytes: the file-size limit stands in
# for a full disk.
records 100000 >big.csv
printf 'the old target\n' >old.xml
cp old.xml old.want
gzip -c big.csv >big.csv.gz
for Source in big.csv big.csv.gz; do
  (
    trap '' XFSZ
    ulimit -f 64
    "$Bin" -s:$Source -t:old.xml 2>err
    echo $? >status
  )
  expectStatus "full target, $Source" 9 "$(cat status)"
  expectLine "full target, $Source" err "Error : Target file write access denied..."
  cmp -s old.xml old.want || fail "full target, $Source: the old target changed"
  noTemporary "full target, $Source"
done

# Into a file, blocks are written while the next ones are converted, so a failed write is learnt
# a block late: what the run says must still be what it said when each block was written at
# once. A warning about a record beyond the failure point is never written; one about a record
# before it is. Each record here writes 71 bytes: the first output block (512 KiB) fails near
# record 7400 and the next is sent near 14800, so record 10000 lies between them.
lateFailure() { # NAME SOURCE: a run into a full file; its status and messages
  (
    trap '' XFSZ
    ulimit -f 64
    "$Bin" -s:"$2" -t:late.xml 2>err
    echo $? >status
  )
  expectStatus "$1" 9 "$(cat status)"
  expectLine "$1" err "Error : Target file write access denied..."
  expectNoFile "$1" late.xml
}
while read -r Case At Line; do
  records 100000 | sed "${At}s/.*/$Line/" >late.csv
  lateFailure "$Case" late.csv
  Warnings=$(grep -c '^Warning' err)
  if [ "$At" -lt 1000 ]; then
    [ "$Warnings" = 1 ] || fail "$Case: the warning before the failure is missing: $(cat err)"
  else
    [ "$Warnings" = 0 ] || fail "$Case: a warning after the failure: $(cat err)"
  fi
  [ "$(grep -c . err)" = $((Warnings + 2)) ] || fail "$Case: $(cat err)"
done <<'CASES'
surplus-late 10000 10000;x;y
surplus-early 5 5;x;y
control-late 10000 10000;\x01
joined-late 10000 10000;a"b\nc"
CASES
records 100000 | awk 'NR == 10000 { printf "10000;%100000s\n", ""; next } 1' >late.csv
lateFailure overlong-late late.csv
grep -q '^Warning' err && fail "overlong-late: a warning after the failure: $(cat err)"
# The only block (less than 512 KiB) goes out when the end of the source is read, and fails
# while the run closes: the end-of-run warnings are no more told than after a failed write.
records 2000 | sed '$s/.*/2000;"x/' >late.csv
lateFailure unclosed-end late.csv
grep -q '^Warning' err && fail "unclosed-end: a warning after the failure: $(cat err)"
noTemporary "late failures"

# A link at the target's name is replaced; the file it pointed to is not touched.
printf 'precious\n' >victim.txt
ln -s victim.txt link.xml
"$Bin" -s:data.csv -t:link.xml 2>err
expectStatus "link target" 0 "$?"
[ -L link.xml ] && fail "link target: still a link"
[ "$(recordsWritten link.xml)" = 3 ] || fail "link target: not the document"
[ "$(cat victim.txt)" = precious ] || fail "link target: the file it pointed to changed"

# SIGINT, SIGTERM and SIGHUP in the middle of a run: the old target stays, the new file goes,
# and the status is 128 + the signal's number. A signal ignored from the start stays ignored.
if env --default-signal=INT true 2>/dev/null; then
  while read -r Signal Want Format; do
    Name="SIG$Signal${Format:+ $Format}"
    cp old.want old.xml
    mkfifo slow.fifo
    if [ "$Want" = ignored ]; then
      env --ignore-signal="$Signal" "$Bin" -s:slow.fifo -t:old.xml 2>err &
    else
      env --default-signal="$Signal" "$Bin" -s:slow.fifo -t:old.xml 2>err &
    fi
    Pid=$!
    exec 3>slow.fifo
    if [ "$Format" = gzip ]; then
      printf 'a;b\n1;2\n' | gzip -c >&3 # a whole member: the next may come later
    else
      printf 'a;b\n1;2\n' >&3
    fi
    waitFor compgen -G '.old.xml.quillon-*' >/dev/null || fail "$Name: no new file seen"
    kill -s "$Signal" "$Pid"
    if [ "$Want" = ignored ]; then
      sleep 0.2
      (printf '3;4\n' >&3) 2>/dev/null # a subshell: a run that ended must not end the test
      exec 3>&-
      wait "$Pid"
      expectStatus "$Name ignored" 0 "$?"
      [ "$(recordsWritten old.xml)" = 2 ] || fail "$Name ignored: not the whole document"
    else
      wait "$Pid"
      expectStatus "$Name" "$Want" "$?"
      exec 3>&-
      cmp -s old.xml old.want || fail "$Name: the old target changed"
    fi
    noTemporary "$Name"
    rm -f slow.fifo
  done <<'EOF'
INT 130
TERM 143
HUP 129
HUP ignored
TERM 143 gzip
EOF
else
  echo "SKIP: signals: env cannot reset a signal's handling here"
fi

# Closed standard descriptors: messages never end up in the document.
printf 'a;b\n1;2;3\n' >surplus.csv
while IFS='|' read -r Name Command; do
  rm -f closed.xml
  eval "\"\$Bin\" -v $Command"
  expectStatus "$Name" 0 "$?"
  grep -qE 'Warning|Working|Ready' closed.xml && fail "$Name: messages in the document"
  [ "$(recordsWritten closed.xml)" = 1 ] || fail "$Name: not the document"
  wellFormed "$Name" closed.xml
done <<'EOF'
standard input and error closed|-s:surplus.csv -t:closed.xml <&- 2>&-
standard error closed|-s:- -t:closed.xml <surplus.csv 2>&-
standard output closed|-s:- -t:closed.xml <surplus.csv >&- 2>/dev/null
all three closed|-s:surplus.csv -t:closed.xml <&- >&- 2>&-
EOF

# A reader of standard error that goes away: messages are dropped, the run goes to its end.
{
  printf 'a;b\n'
  sleep 0.5
  seq 1 30000 | sed 's/$/;x/'
} | "$Bin" -v -s:- -t:logged.xml 2>&1 | head -c 1 >/dev/null
Status=${PIPESTATUS[1]}
expectStatus "standard error closed early" 0 "$Status"
[ "$(recordsWritten logged.xml)" = 30000 ] || fail "standard error closed early: not the whole document"

# A reader of the document that goes away: the run stops at once, quietly, as SIGPIPE would.
{
  records 1
  sleep 0.5
  seq 1 100000 | sed 's/$/;x/'
} | "$Bin" -s:- -t:- 2>err | head -c 1 >/dev/null
Status=${PIPESTATUS[1]}
expectStatus "document reader gone" 141 "$Status"
[ -s err ] && fail "document reader gone: messages $(head -c 300 err)"
# the same for the usage text; other write errors on it are reported
{
  sleep 0.3
  exec "$Bin" -?
} 2>err | true
expectStatus "usage reader gone" 141 "${PIPESTATUS[0]}"
[ -s err ] && fail "usage reader gone: messages $(head -c 300 err)"
if [ -w /dev/full ]; then
  "$Bin" -? >/dev/full 2>err
  expectStatus "usage on a full device" 1 "$?"
  expectLine "usage on a full device" err "Error : Usage text could not be written..."
  "$Bin" -V 2>/dev/full
  expectStatus "banner on a full device" 1 "$?"
fi

# Output waits for no input: what was converted is out before the program reads again.
mkfifo input.fifo
"$Bin" -s:input.fifo -t:- >live.xml 2>err &
Pid=$!
exec 3>input.fifo
printf 'a;b\n1;2\n' >&3
waitFor grep -q '<b>2</b>' live.xml || fail "output held back while waiting for input"
exec 3>&-
wait "$Pid"
expectStatus "output while waiting" 0 "$?"
rm -f input.fifo

# A source cut short while it is read: an error, the document closed properly, status 6. The
# run is held at its first write into a FIFO until the source has been truncated.
records 200000 >shrinking.csv
mkfifo doc.fifo
"$Bin" -s:shrinking.csv -t:doc.fifo 2>err &
Pid=$!
exec 3<doc.fifo
dd bs=1 count=1 <&3 >shrunk.xml 2>/dev/null
truncate -s 1000 shrinking.csv
cat <&3 >>shrunk.xml
exec 3<&-
wait "$Pid"
expectStatus "truncated source" 6 "$?"
expectLine "truncated source" err \
  "Error : Source file was truncated while it was read, the last records converted may be incomplete..."
wellFormed "truncated source" shrunk.xml

# A read error after the header ends with status 6, after the records read so far: a socket
# whose peer resets it. The peer leaves unread data behind, which makes the close a reset.
# (python3 on the path may be a slow wrapper script: the system's own is taken first)
Python=/usr/bin/python3
[ -x "$Python" ] || Python=$(command -v python3)
if [ -n "$Python" ]; then
  records 2 >two.csv
  "$Python" - "$Bin" two.csv reset.xml 2>err <<'EOF'
import socket, subprocess, sys
Bin, Source, Target = sys.argv[1:4]
Ours, Peer = socket.socketpair()
Ours.sendall(b"unread")
Run = subprocess.Popen([Bin, "-s:-", "-t:" + Target], stdin=Ours.fileno())
Ours.close()
Peer.sendall(open(Source, "rb").read())
Peer.close()
sys.exit(Run.wait())
EOF
  expectStatus "read error after the header" 6 "$?"
  expectLine "read error after the header" err \
    "Error : Source file read error, the rest of the source is not converted..."
  [ "$(recordsWritten reset.xml)" = 2 ] || fail "read error after the header: not 2 records"

  # Non-blocking pipes, filled and drained slowly, carry the whole document.
  records 100000 >many.csv
  "$Bin" -s:many.csv -t:want.xml 2>/dev/null
  for Side in source target; do
    "$Python" - "$Side" "$Bin" many.csv nonblocking.xml 2>err <<'EOF'
import fcntl, os, subprocess, sys, time
Side, Bin, Source, Target = sys.argv[1:5]
def nonBlocking(Fd):
    fcntl.fcntl(Fd, fcntl.F_SETFL, fcntl.fcntl(Fd, fcntl.F_GETFL) | os.O_NONBLOCK)
Read, Write = os.pipe()
if Side == "source":
    nonBlocking(Read)
    Run = subprocess.Popen([Bin, "-s:-", "-t:" + Target], stdin=Read)
    os.close(Read)
    Data = open(Source, "rb").read()
    time.sleep(0.1)  # the first read finds the pipe empty
    for At in range(0, len(Data), 65536):
        Chunk = memoryview(Data)[At:At + 65536]
        while Chunk:
            Chunk = Chunk[os.write(Write, Chunk):]
        time.sleep(0.005)
    os.close(Write)
else:
    nonBlocking(Write)
    Run = subprocess.Popen([Bin, "-s:" + Source, "-t:-"], stdout=Write)
    os.close(Write)
    with open(Target, "wb") as Out:
        while True:
            time.sleep(0.001)
            Chunk = os.read(Read, 65536)
            if not Chunk:
                break
            Out.write(Chunk)
sys.exit(Run.wait())
EOF
    expectStatus "non-blocking $Side" 0 "$?"
    [ -s err ] && fail "non-blocking $Side: messages $(head -c 300 err)"
    sed -E 's/(source|datetime)="[^"]*"//g' want.xml >want.masked
    sed -E 's/(source|datetime)="[^"]*"//g' nonblocking.xml >got.masked
    cmp -s want.masked got.masked || fail "non-blocking $Side: the document differs"
  done
else
  echo "SKIP: read error and non-blocking pipes: python3 is missing"
fi

# The edges of the line limits. A record joined from two lines may hold 99999 bytes, its line
# feed included; one byte more drops it. A line of 99999 bytes is read whole wherever its line
# feed falls around the end of the reader's first read of a file (one block, 512 KiB).
for Joined in 99999 100000; do
  {
    printf 'a;b\n"'
    head -c 59999 /dev/zero | tr '\0' x
    printf '\n'
    head -c $((Joined - 60000 - 4)) /dev/zero | tr '\0' y
    printf '";z\n'
  } >joined.csv
  "$Bin" -s:joined.csv -t:joined.xml 2>err
  Name="joined record of $Joined bytes"
  expectStatus "$Name" 0 "$?"
  if [ "$Joined" -lt 100000 ]; then
    [ "$(recordsWritten joined.xml)" = 1 ] || fail "$Name: not converted"
    [ -s err ] && fail "$Name: messages $(head -c 300 err)"
  else
    [ "$(recordsWritten joined.xml)" = 0 ] || fail "$Name: converted"
    expectLine "$Name" err "          ignoring line 2 !"
  fi
done
Filler="p;$(head -c 997 /dev/zero | tr '\0' q)" # a line of 1000 bytes with its line feed
FirstRead=524288
for Edge in $FirstRead; do
  for Shift in -1 0 1; do
    for End in LF CRLF; do
      Name="99999-byte line, line feed at $Edge+($Shift), $End"
      Feed=$((Edge + Shift))
      Tail=99999
      Cr=0
      [ "$End" = CRLF ] && Cr=1
      Before=$((Feed - Tail - Cr - 4)) # the line feed's offset, less the line, CR and header
      Lines=$((Before / 1000 - 1))
      {
        printf 'a;b\n'
        yes "$Filler" | head -n "$Lines"
        head -c $((Before - Lines * 1000 - 3)) /dev/zero | tr '\0' p
        printf ';q\n'
        head -c $((Tail - 2)) /dev/zero | tr '\0' x
        printf ';y'
        [ "$End" = CRLF ] && printf '\r'
        printf '\nz;z\n'
      } >edge.csv
      Got=$(head -c "$((Feed + 1))" edge.csv | tail -c 1 | od -An -c | tr -d ' ')
      [ "$Got" = '\n' ] || fail "$Name: the test put the line feed elsewhere ($Got)"
      "$Bin" -s:edge.csv -t:edge.xml 2>err
      expectStatus "$Name" 0 "$?"
      [ -s err ] && fail "$Name: messages $(head -c 300 err)"
      [ "$(recordsWritten edge.xml)" = $((Lines + 3)) ] || fail "$Name: not $((Lines + 3)) records"
      grep -q '^          <b>y</b>$' edge.xml || fail "$Name: the long record is not whole"
    done
  done
done

[ "$Fail" -eq 0 ] && echo "safe files and streams: all passed"
exit "$Fail"

#!/usr/bin/env bash
# ombrixd under a real NOTIFY_SOCKET, as systemd runs a unit of Type=notify
# with WatchdogSec=: each note it sends, in order, as the service goes through
# its start, a device that goes away, a reload and its stop.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_setup
unset DISPLAY WAYLAND_DISPLAY
NOTES=$E2E/notes
# Every field of every datagram on a line of its own.
python3 -c '
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1])
out = open(sys.argv[2], "ab", buffering=0)
while True:
    out.write(s.recv(65536) + b"\n")' "$E2E/notify.sock" "$NOTES" &
PIDS+=("$!")
wait_for 30 test -S "$E2E/notify.sock" || fail "no notify socket"
simport 7 --pattern count --bytes 1000
bvx "7 $E2E/seven.log 1" >"$E2E/run.bvx"
(cd "$E2E" && NOTIFY_SOCKET=$E2E/notify.sock WATCHDOG_USEC=1000000 WATCHDOG_PID=$BASHPID \
  exec "$PROGDIR/ombrixd" run.bvx) 2>"$E2E/ombrixd.log" &
DAEMON_PID=$!
PIDS+=("$DAEMON_PID")
# has COUNT LINE: the notes hold LINE at least COUNT times.
has() { [ "$(grep -cx -- "$2" "$NOTES" 2>/dev/null)" -ge "$1" ]; }
# Each row: what is done, then the note that must follow (at least COUNT times).
for row in ":|1|STATUS=1 of 1 ports open" ":|1|READY=1" ":|3|WATCHDOG=1" \
  "kill -TERM $SIMPORT_PID_7|1|STATUS=0 of 1 ports open; waiting: COM7: .* waiting for it to return" \
  "kill -HUP $DAEMON_PID|1|RELOADING=1" ":|1|MONOTONIC_USEC=[0-9]*" ":|2|READY=1" \
  "kill -TERM $DAEMON_PID|1|STOPPING=1"; do
  IFS='|' read -r action count note <<<"$row"
  $action
  wait_for 60 has "$count" "$note" || { cat "$NOTES"; fail "no $note after $action"; }
done
wait "$DAEMON_PID" || fail "ombrixd ended with status $?"
echo "all notify checks passed"

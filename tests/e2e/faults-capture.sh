#!/usr/bin/env bash
# Faults while logging, with the real program on the offscreen platform and
# devices from device.py: log files that go away, fill up or are locked, a
# device that hangs up and comes back, a kill -9, a port another program
# holds. Every byte the program took from a device must end up in the log,
# once and in order, unless the program itself was killed.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_setup
unset DISPLAY WAYLAND_DISPLAY

# relink LINK TARGET: points LINK at TARGET in one step (no moment without it).
relink() {
  ln -s "$2" "$1.tmp"
  mv -T "$1.tmp" "$1"
}
# Whether FILE... together hold at least as many bytes as device NAME sent.
hold_all_sent() {
  local name=$1 total=0 f
  shift
  for f in "$@"; do total=$((total + $(file_size "$f"))); done
  [ "$total" -ge "$(sent_size "$name")" ]
}
same_as_sent() { cmp "$E2E/$1.sent" "$2" || fail "$3"; }

# lock_file FILE: another program takes an fcntl() write lock on FILE (the
# kind the program honours) and holds it until killed; its pid is in $holder.
lock_file() {
  python3 -c 'import fcntl, signal, sys
f = open(sys.argv[1], "ab")
fcntl.lockf(f, fcntl.LOCK_EX)
print("locked", flush=True)
signal.pause()' "$1" >"$E2E/holder.out" &
  holder=$!
  PIDS+=("$holder")
  wait_for 10 grep -q locked "$E2E/holder.out" || fail "the lock was not taken"
}

echo "-- the log directory removed while data flows, then made again"
mkdir "$E2E/logs"
bvx "21 $E2E/logs/a.log 1" >"$PROGDIR/default.bvx"
device 21 gone --rate 30000
start_offscreen
wait_for 30 size_at_least "$E2E/logs/a.log" 10000 || fail "COM21 is not logged"
exec 7<"$E2E/logs/a.log" # the removed file stays readable through this
rm -r "$E2E/logs"
mark=$(sent_size gone)
wait_for 30 sent_at_least gone $((mark + 15000)) || fail "the device stopped sending"
mkdir "$E2E/logs"
stop_device gone && [ "$UNREAD" = 0 ] || fail "the device was not read to the end"
cat <&7 >"$E2E/a.removed"
exec 7<&-
wait_for 30 hold_all_sent gone "$E2E/a.removed" "$E2E/logs/a.log" ||
  fail "bytes are missing: $(file_size "$E2E/a.removed") + $(file_size "$E2E/logs/a.log") of $(sent_size gone)"
stop_ombrix TERM
cat "$E2E/a.removed" "$E2E/logs/a.log" | same_as_sent gone - "the removed and the new log together differ from what was sent"

echo "-- the log file on /dev/full, then on a file"
relink "$E2E/full.log" /dev/full
bvx "22 $E2E/full.log 1" >"$PROGDIR/default.bvx"
device 22 full --rate 30000
start_offscreen
wait_for 30 sent_at_least full 15000 || fail "the device did not send"
relink "$E2E/full.log" "$E2E/full.real"
wait_for 30 size_at_least "$E2E/full.real" 1 || fail "the good file is not written"
stop_device full && [ "$UNREAD" = 0 ] || fail "the device was not read to the end"
wait_for 30 hold_all_sent full "$E2E/full.real" || fail "bytes refused by /dev/full were not written afterwards"
stop_ombrix TERM
same_as_sent full "$E2E/full.real" "the log differs from what was sent"

echo "-- a log file write-locked by another program, then released"
bvx "23 $E2E/locked.log 1" >"$PROGDIR/default.bvx"
device 23 locked --rate 30000
start_offscreen
wait_for 30 size_at_least "$E2E/locked.log" 10000 || fail "COM23 is not logged"
lock_file "$E2E/locked.log"
at_lock=$(file_size "$E2E/locked.log")
wait_for 30 sent_at_least locked $(($(sent_size locked) + 15000)) || fail "the device stopped sending"
[ "$(file_size "$E2E/locked.log")" = "$at_lock" ] || fail "the program wrote past another program's lock"
kill "$holder"
wait "$holder" || true
stop_device locked && [ "$UNREAD" = 0 ] || fail "the device was not read to the end"
wait_for 30 hold_all_sent locked "$E2E/locked.log" || fail "bytes taken while the file was locked were lost"
stop_ombrix TERM
same_as_sent locked "$E2E/locked.log" "the log differs from what was sent"

echo "-- the file locked when the device hangs up for good, released, then the program ends"
bvx "24 $E2E/lost.log 1" >"$PROGDIR/default.bvx"
device 24 lost --rate 30000
start_offscreen
wait_for 30 size_at_least "$E2E/lost.log" 1000 || fail "COM24 is not logged"
lock_file "$E2E/lost.log"
wait_for 30 sent_at_least lost $(($(sent_size lost) + 5000)) || fail "the device stopped sending"
stop_device lost && [ "$UNREAD" = 0 ] || fail "the device was not read to the end"
kill "$holder"
wait "$holder" || true
stop_ombrix TERM
same_as_sent lost "$E2E/lost.log" "bytes taken before the hang-up were not written at the end"

echo "-- the device hangs up and comes back, three times"
bvx "25 $E2E/plug.log 1" >"$PROGDIR/default.bvx"
device 25 plug --rate 30000
start_offscreen
for round in 1 2 3; do
  wait_for 30 size_at_least "$E2E/plug.log" $(($(sent_size plug) + 5000)) || fail "COM25 is not logged (round $round)"
  kill -USR1 "$DEVICE_plug"
  wait_for 30 eval '[ "$(grep -c ^reconnected "$E2E/plug.out")" = '$round' ]' || fail "the device did not come back"
done
wait_for 30 size_at_least "$E2E/plug.log" $(($(sent_size plug) + 5000)) || fail "COM25 was not reopened"
stop_device plug && [ "$UNREAD" = 0 ] || fail "the device was not read to the end"
wait_for 30 hold_all_sent plug "$E2E/plug.log" || fail "bytes are missing after the reconnections"
stop_ombrix TERM
same_as_sent plug "$E2E/plug.log" "the log differs from what was sent across the reconnections"

echo "-- kill -9 while logging: the log is a prefix of what was sent"
bvx "26 $E2E/killed.log 1" >"$PROGDIR/default.bvx"
device 26 killed --rate 30000
start_offscreen
wait_for 30 size_at_least "$E2E/killed.log" 20000 || fail "COM26 is not logged"
kill -KILL "$OMBRIX"
{ wait "$OMBRIX" || true; } 2>/dev/null
stop_device killed
size=$(file_size "$E2E/killed.log")
cmp -n "$size" "$E2E/killed.log" "$E2E/killed.sent" || fail "the log is not a prefix of what was sent"
[ "$(sent_size killed)" -gt "$size" ] || fail "the device sent no more than the log holds"

echo "-- a port another program holds: nothing taken from it, the session stays inactive"
bvx "27 $E2E/holder.log 1" >"$E2E/holder.bvx"
bvx "27 $E2E/thief.log 1" >"$PROGDIR/default.bvx"
device 27 held --rate 30000 --bytes 40000
(cd "$E2E" && exec "$PROGDIR/ombrixd" holder.bvx) 2>"$E2E/ombrixd.log" &
daemon=$!
PIDS+=("$daemon")
wait_for 30 grep -q '^COM27: Status: Open' "$E2E/ombrixd.log" || fail "ombrixd did not open COM27"
start_offscreen
wait_for 30 grep -q '^done' "$E2E/held.out" || fail "the device was not read to the end"
wait_for 30 hold_all_sent held "$E2E/holder.log" || fail "the holder did not get every byte"
kill -0 "$OMBRIX" || fail "ombrix ended"
stop_ombrix TERM
[ ! -e "$E2E/thief.log" ] || fail "the program logged a port another program holds"
grep -q 'AutoActivate=0' "$PROGDIR/default.bvx" || fail "the session was saved as active"
kill -TERM "$daemon"
wait "$daemon" || fail "ombrixd failed"
same_as_sent held "$E2E/holder.log" "the holder's log differs from what was sent"

echo "-- and the other way round: the logging service finds the port in use"
bvx "28 $E2E/window.log 1" >"$PROGDIR/default.bvx"
bvx "28 $E2E/service.log 1" >"$E2E/service.bvx"
device 28 busy --rate 30000
start_offscreen
wait_for 30 size_at_least "$E2E/window.log" 1000 || fail "COM28 is not logged"
(cd "$E2E" && exec "$PROGDIR/ombrixd" service.bvx) 2>"$E2E/ombrixd.log" &
daemon=$!
PIDS+=("$daemon")
wait_for 30 grep -q '^COM28: Status: - Error - .* is in use' "$E2E/ombrixd.log" ||
  fail "ombrixd did not say that the port is in use"
kill -TERM "$daemon"
wait "$daemon" || fail "ombrixd failed"
stop_device busy && [ "$UNREAD" = 0 ] || fail "the device was not read to the end"
wait_for 30 hold_all_sent busy "$E2E/window.log" || fail "the window's session lost bytes"
stop_ombrix TERM
same_as_sent busy "$E2E/window.log" "the log differs from what was sent"
[ ! -e "$E2E/service.log" ] || fail "ombrixd logged a port another program holds"
echo "all capture fault checks passed"

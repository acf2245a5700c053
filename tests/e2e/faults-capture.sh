#!/usr/bin/env bash
# Capture faults that need whole processes, with the real program on the
# offscreen platform and devices from device.py: another program's lock on
# the log and a kill -9. Every byte the program took from a device must end
# up in the log, once and in order, unless the program itself was killed.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_setup
unset DISPLAY WAYLAND_DISPLAY

echo "-- another program locks the log, the device stops, the lock goes, the program ends"
bvx "21 $E2E/locked.log 1" >"$PROGDIR/default.bvx"
device 21 locked --rate 30000
start_offscreen
wait_for 30 size_at_least "$E2E/locked.log" 10000 || fail "COM21 is not logged"
# Another process takes a POSIX record lock (fcntl F_SETLK) and holds it until killed.
python3 -c 'import fcntl, signal, sys; f = open(sys.argv[1], "ab"); fcntl.lockf(f, fcntl.LOCK_EX)
print("locked", flush=True); signal.pause()' "$E2E/locked.log" >"$E2E/holder.out" &
holder=$!
PIDS+=("$holder")
wait_for 10 grep -q locked "$E2E/holder.out" || fail "the lock was not taken"
at_lock=$(file_size "$E2E/locked.log")
wait_for 30 sent_at_least locked $(($(sent_size locked) + 10000)) || fail "the device stopped sending"
[ "$(file_size "$E2E/locked.log")" = "$at_lock" ] || fail "the program wrote past another program's lock"
stop_device locked && [ "$UNREAD" = 0 ] || fail "the device was not read to the end"
kill "$holder"
wait "$holder" || true
stop_ombrix TERM
cmp "$E2E/locked.sent" "$E2E/locked.log" || fail "bytes taken while the log was locked were not written at the end"

echo "-- kill -9 while logging: the log is a prefix of what was sent"
bvx "23 $E2E/killed.log 1" >"$PROGDIR/default.bvx"
device 23 killed --rate 30000
start_offscreen
wait_for 30 size_at_least "$E2E/killed.log" 20000 || fail "COM23 is not logged"
kill -KILL "$OMBRIX"
{ wait "$OMBRIX" || true; } 2>/dev/null
stop_device killed
size=$(file_size "$E2E/killed.log")
cmp -n "$size" "$E2E/killed.log" "$E2E/killed.sent" || fail "the log is not a prefix of what was sent"
[ "$(sent_size killed)" -gt "$size" ] || fail "the device sent no more than the log holds"
echo "all capture fault checks passed"

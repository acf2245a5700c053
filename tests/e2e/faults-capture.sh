#!/usr/bin/env bash
# Capture faults that need a whole process, with the real program on the
# offscreen platform and a device from device.py: killed with -9 while
# logging, the program leaves a log that is exactly a prefix of what was sent.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_setup
unset DISPLAY WAYLAND_DISPLAY

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

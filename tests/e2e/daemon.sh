#!/usr/bin/env bash
# The logging service ombrixd: no window, no X server. It logs simulated
# devices byte-exact, reloads on SIGHUP without a gap for unchanged sessions,
# writes everything on SIGTERM, and --check reports what it sees.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_setup
unset DISPLAY WAYLAND_DISPLAY
DAEMON=$PROGDIR/ombrixd
LOG=$E2E/ombrixd.log

echo "-- widget-free: no GUI library is loaded"
! ldd "$DAEMON" | grep -Eq 'libQt6(Widgets|Gui)' || fail "ombrixd links a GUI library"

echo "-- usage: --help exits 0, a wrong option and an unreadable configuration 1"
"$DAEMON" --help | grep -q 'Exit status' || fail "--help does not tell the exit status"
status=0; "$DAEMON" --no-such-option 2>/dev/null || status=$?
[ "$status" = 1 ] || fail "a wrong option gave status $status"
status=0; "$DAEMON" "$E2E/absent.bvx" 2>"$E2E/absent.err" || status=$?
[ "$status" = 1 ] || fail "a missing configuration gave status $status"
grep -q 'Cannot read the configuration' "$E2E/absent.err" || fail "no reason given for a missing configuration"

sha_of() { sed -n 's/^sent .* sha256 //p' "$E2E/simport$1.out"; }
same_bytes() {
  [ "$(sha_of "$1")" = "$(sha256sum "$2" | cut -d' ' -f1)" ] || fail "COM$1: $2 differs from what was sent"
}

echo "-- --check on a good configuration exits 0 and opens nothing"
simport 7 --pattern random --bytes 400000 --seed 7 --rate 80000 --burst 64 --exit-when-read
simport 8 --pattern count --bytes 150000 --exit-when-read
bvx "7 $E2E/seven.log 1" "8 $E2E/eight.log 1" "9 $E2E/nine.log 0" >"$E2E/run.bvx"
"$DAEMON" --check "$E2E/run.bvx" >"$E2E/check.out" || { cat "$E2E/check.out"; fail "--check found problems in a good configuration"; }
grep -q "^Session 1: COM7 -> /dev/pts/.*115200,N,8,1.*$E2E/seven.log, activates" "$E2E/check.out" ||
  { cat "$E2E/check.out"; fail "--check does not describe session 1"; }
grep -q '^Session 3: COM9.*does not activate' "$E2E/check.out" || fail "--check does not show session 3 idle"
[ ! -e "$E2E/seven.log" ] || fail "--check created a log file"

echo "-- two devices logged byte-exact"
(cd "$E2E" && exec "$DAEMON" run.bvx) 2>"$LOG" &
DAEMON_PID=$!
PIDS+=("$DAEMON_PID")
wait_for 30 grep -q '^COM7: Status: Open' "$LOG" || fail "COM7 did not open"
wait_for 30 grep -q '^COM8: Status: Open' "$LOG" || fail "COM8 did not open"
wait_for 60 grep -q '^sent' "$E2E/simport8.out" || fail "simport 8 did not finish"
same_bytes 8 "$E2E/eight.log"

echo "-- SIGHUP while COM7 is streaming: COM7 goes on, COM8 stops, COM9 starts"
# COM9 streams until it is stopped, so that its last bytes may still be on
# the way when ombrixd is told to stop.
simport 9 --pattern random --bytes 1000000 --seed 9 --rate 200000 --burst 4096
wait_for 30 size_at_least "$E2E/seven.log" 40000 || fail "COM7 is not streaming"
grep -q '^sent' "$E2E/simport7.out" && fail "COM7 finished before the reload; nothing flowed across it"
bvx "7 $E2E/seven.log 1" "9 $E2E/nine.log 1" >"$E2E/run.bvx"
kill -HUP "$DAEMON_PID"
wait_for 30 grep -q 'Reloaded .*: 1 kept, 1 stopped, 1 started' "$LOG" || fail "no reload reported"
grep -q '^COM8: Status: Closed' "$LOG" || fail "the removed session was not stopped"
wait_for 30 grep -q '^COM9: Status: Open' "$LOG" || fail "COM9 did not open"
# A simulator run with --exit-when-read ends once its reader has taken every byte.
wait "$SIMPORT_PID_7" || fail "simport 7 failed"

echo "-- SIGTERM as soon as the last bytes are sent: everything is in the files"
for ((i = 0; i < 6000; i++)); do grep -q '^sent' "$E2E/simport9.out" && break; sleep 0.01; done
kill -TERM "$DAEMON_PID"
status=0; wait "$DAEMON_PID" || status=$?
[ "$status" = 0 ] || fail "ombrixd ended with status $status"
grep -q '^sent' "$E2E/simport9.out" || fail "simport 9 did not finish"
same_bytes 7 "$E2E/seven.log"
same_bytes 9 "$E2E/nine.log"
# COM7 ran on through the reload: opened once, closed once (at the end).
[ "$(grep -c '^COM7: Status: Open' "$LOG")" = 1 ] || fail "COM7 was opened again"
[ "$(grep -c '^COM7: Status: Closed' "$LOG")" = 1 ] || fail "COM7 was not closed exactly once"
[ "$(tail -n 1 "$LOG")" = "COM9: Status: Closed" ] || [ "$(tail -n 1 "$LOG")" = "COM7: Status: Closed" ] ||
  fail "the ports were not closed last"
cmp -s "$E2E/run.bvx" <(bvx "7 $E2E/seven.log 1" "9 $E2E/nine.log 1") || fail "the configuration was written"

echo "-- a log file that cannot be written: one status line, errorlog.txt in the program directory"
simport 12 --pattern text --bytes 2000 --exit-when-read
{ bvx "12 /etc/passwd/x.log 1"; printf 'LogErrors=1\r\n'; } >"$E2E/errors.bvx"
(cd "$E2E" && exec "$DAEMON" errors.bvx) 2>"$LOG" &
DAEMON_PID=$!
PIDS+=("$DAEMON_PID")
wait_for 30 grep -q '^COM12: Status: File I/O Error (/etc/passwd/x.log: ' "$LOG" || fail "no file error reported"
wait_for 30 grep -q '^Ombrix Error: COM12, File I/O Error, ' "$PROGDIR/errorlog.txt" ||
  fail "errorlog.txt in the program directory has no line"
kill -INT "$DAEMON_PID"
status=0; wait "$DAEMON_PID" || status=$?
[ "$status" = 0 ] || fail "ombrixd ended with status $status after SIGINT"
[ "$(grep -c 'File I/O Error' "$LOG")" = 1 ] || fail "the file error was reported more than once on standard error"

echo "-- --check reports a missing device and an unwritable log directory, exits 1"
bvx "11 $E2E/eleven.log 1" "7 /etc/passwd/x.log 1" >"$E2E/bad.bvx"
printf '[Ports]\nCOM11=%s/unplugged\n' "$E2E" >>"$XDG_CONFIG_HOME/Ombrix/Ombrix.conf"
status=0; "$DAEMON" --check "$E2E/bad.bvx" >"$E2E/bad.out" || status=$?
[ "$status" = 1 ] || { cat "$E2E/bad.out"; fail "--check on a bad configuration gave status $status"; }
grep -q "^Problem: session 1: COM11 opens $E2E/unplugged does not exist" "$E2E/bad.out" ||
  { cat "$E2E/bad.out"; fail "the missing device is not reported"; }
grep -q '^Problem: session 2: /etc/passwd is not a directory' "$E2E/bad.out" ||
  { cat "$E2E/bad.out"; fail "the unwritable log directory is not reported"; }
echo "all ombrixd end-to-end checks passed"

#!/usr/bin/env bash
# The logging service ombrixd as a whole process, without any display: its
# exit statuses and --check output, byte-exact logging, SIGHUP reloading
# without a gap for unchanged sessions, SIGTERM and SIGINT writing everything,
# a session waiting for its device taking up the simulator's next run.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
daemon_setup
! ldd "$DAEMON" | grep -Eq 'libQt6(Widgets|Gui)' || fail "ombrixd links a GUI library"
start_daemon() {
  (cd "$E2E" && exec "$DAEMON" "$1") 2>"$LOG" &
  DAEMON_PID=$!
  PIDS+=("$DAEMON_PID")
}
status_of() { local s=0; "$@" >"$E2E/out" 2>&1 || s=$?; echo $s; }
# same_bytes PORT LOG: once LOG holds as many bytes as the simulator on
# COM<PORT> says it sent (the service may still hold some when it says so),
# they must be those bytes.
same_bytes() {
  wait_for 60 size_at_least "$2" "$(sed -n 's/^sent \([0-9]*\) .*/\1/p' "$E2E/simport$1.out")" ||
    fail "COM$1: $2 holds $(file_size "$2") bytes, fewer than were sent"
  [ "$(sed -n 's/^sent .* sha256 //p' "$E2E/simport$1.out")" = "$(sha256sum "$2" | cut -d' ' -f1)" ] ||
    fail "COM$1: $2 differs from what was sent"
}

echo "-- exit statuses: a wrong option 1, a missing configuration 1 with the reason"
[ "$(status_of "$DAEMON" --no-such-option)" = 1 ] || fail "a wrong option"
for args in "" "a.bvx b.bvx"; do # a service logs the one file it is named, nothing else
  [ "$(status_of "$DAEMON" $args)" = 1 ] && grep -q "name one configuration file" "$E2E/out" || fail "usage: '$args'"
done
[ "$(status_of "$DAEMON" "$E2E/absent.bvx")" = 1 ] && grep -q 'Cannot read the configuration' "$E2E/out" || fail "absent"

echo "-- --check: 0 and a description for a good configuration, 1 and each problem for a bad one"
# COM7 streams through the reload below: its second half waits until the
# reload has been reported, so bytes come after it however slow the machine.
mkfifo "$E2E/seven.in"
{ head -c 200000 /dev/urandom; wait_for 600 test -e "$E2E/reloaded"; head -c 200000 /dev/urandom; } >"$E2E/seven.in" &
PIDS+=("$!")
"$SIMPORT" --port 7 --stdin --rate 80000 --burst 64 --exit-when-read <"$E2E/seven.in" >"$E2E/simport7.out" 2>&1 &
SIMPORT_PID_7=$!
PIDS+=("$SIMPORT_PID_7")
wait_for 30 grep -q " -> " "$E2E/simport7.out" || fail "simport 7 did not start"
simport 8 --pattern count --bytes 150000 --exit-when-read
bvx "7 $E2E/seven.log 1" "8 $E2E/eight.log 1" "9 $E2E/nine.log 0" >"$E2E/run.bvx"
[ "$(status_of "$DAEMON" --check "$E2E/run.bvx")" = 0 ] || { cat "$E2E/out"; fail "--check on a good configuration"; }
grep -q "^Session 1: COM7 -> /dev/pts/.*115200,N,8,1.*$E2E/seven.log, activates" "$E2E/out" &&
  grep -q '^Session 3: COM9.*does not activate' "$E2E/out" || { cat "$E2E/out"; fail "--check description"; }
bvx "11 $E2E/eleven.log 1" "7 /etc/passwd/x.log 1" >"$E2E/bad.bvx"
printf 'COM11=%s/unplugged\n' "$E2E" >>"$XDG_CONFIG_HOME/Ombrix/Ombrix.conf"
[ "$(status_of "$DAEMON" --check "$E2E/bad.bvx")" = 1 ] || { cat "$E2E/out"; fail "--check on a bad configuration"; }
grep -q "^Problem: session 1: COM11: $E2E/unplugged does not exist" "$E2E/out" &&
  grep -q '^Problem: session 2: /etc/passwd is not a directory' "$E2E/out" && grep -q '^2 problem(s) found' "$E2E/out" ||
  { cat "$E2E/out"; fail "--check problems"; }
[ ! -e "$E2E/seven.log" ] || fail "--check created a log file"

echo "-- --ports lists the map and the devices present; the service numbers no device"
mkdir "$E2E/by-id"
socat "PTY,link=$E2E/by-id/usb-Sim-if00,raw,echo=0" "PTY,raw,echo=0" & PIDS+=("$!")
wait_for 30 test -e "$E2E/by-id/usb-Sim-if00" || fail "socat made no device"
export OMBRIX_SERIAL_BY_ID=$E2E/by-id
[ "$(status_of "$DAEMON" --ports)" = 0 ] && grep -q '^COM7=/dev/pts/[0-9]*, present$' "$E2E/out" &&
  grep -q "^no entry: $E2E/by-id/usb-Sim-if00 -> /dev/pts/" "$E2E/out" || { cat "$E2E/out"; fail "--ports"; }

echo "-- two devices logged byte-exact"
start_daemon run.bvx
wait_for 30 grep -q '^COM7: Status: Open' "$LOG" || fail "COM7 did not open"
wait_for 60 grep -q '^sent' "$E2E/simport8.out" || fail "simport 8 did not finish"
same_bytes 8 "$E2E/eight.log"
map_gone() { ! grep -qs "^COM$1=" "$XDG_CONFIG_HOME/Ombrix/Ombrix.conf"; }
wait_for 30 map_gone 8 || fail "the simulator left its port map entry behind"

echo "-- SIGHUP while COM7 is streaming: COM7 goes on, COM8 stops, COM9 starts"
# COM9 streams until it is stopped, so its last bytes may be on the way at SIGTERM.
simport 9 --pattern random --bytes 1000000 --seed 9 --rate 200000 --burst 4096
wait_for 30 size_at_least "$E2E/seven.log" 40000 || fail "COM7 is not streaming"
bvx "7 $E2E/seven.log 1" "9 $E2E/nine.log 1" >"$E2E/run.bvx"
kill -HUP "$DAEMON_PID"
wait_for 30 grep -q 'Reloaded .*: 1 kept, 1 stopped, 1 started' "$LOG" || fail "no reload reported"
touch "$E2E/reloaded"
grep -q '^COM8: Status: Closed' "$LOG" || fail "the removed session was not stopped"
# A simulator run with --exit-when-read ends once its reader has taken every byte.
wait "$SIMPORT_PID_7" || fail "simport 7 failed"

echo "-- SIGTERM as soon as the last bytes are sent: everything is in the files"
wait_for 300 grep -q '^sent' "$E2E/simport9.out" || fail "simport 9 did not finish"
kill -TERM "$DAEMON_PID"
wait "$DAEMON_PID" || fail "ombrixd ended with status $?"
same_bytes 7 "$E2E/seven.log"
same_bytes 9 "$E2E/nine.log"
# COM7 ran on through the reload: opened once, closed once (at the end).
[ "$(grep -c '^COM7: Status: Open' "$LOG")" = 1 ] && [ "$(grep -c '^COM7: Status: Closed' "$LOG")" = 1 ] ||
  fail "COM7 was reopened across the reload"
! grep -q by-id "$XDG_CONFIG_HOME/Ombrix/Ombrix.conf" || fail "the service wrote the port map"
cmp -s "$E2E/run.bvx" <(bvx "7 $E2E/seven.log 1" "9 $E2E/nine.log 1") || fail "the configuration was written"

echo "-- a log file that cannot be written: one status line, errorlog.txt in the program directory, SIGINT"
simport 12 --pattern text --bytes 2000 --exit-when-read
{ bvx "12 /etc/passwd/x.log 1"; printf 'LogErrors=1\r\n'; } >"$E2E/errors.bvx"
start_daemon errors.bvx
wait_for 30 grep -q '^COM12: Status: File I/O Error (/etc/passwd/x.log: ' "$LOG" || fail "no file error reported"
wait_for 30 grep -q '^Ombrix Error: COM12, File I/O Error, ' "$PROGDIR/errorlog.txt" || fail "no line in errorlog.txt"
kill -INT "$DAEMON_PID"
wait "$DAEMON_PID" || fail "ombrixd ended with status $? after SIGINT"
[ "$(grep -c 'File I/O Error' "$LOG")" = 1 ] || fail "the file error was reported more than once"
echo "-- the simulator stopped by SIGINT mid-stream: its report is the log; run again, it is followed"
simport 13 --pattern text --rate 20000
bvx "13 $E2E/thirteen.log 1" >"$E2E/sim.bvx"
start_daemon sim.bvx
wait_for 60 size_at_least "$E2E/thirteen.log" 4000 || fail "COM13 is not logging"
kill -INT "$SIMPORT_PID_13"
wait "$SIMPORT_PID_13" || fail "simport 13 ended with status $? after SIGINT"
! grep -q '^read' "$E2E/simport13.out" || fail "the simulator left bytes unread: $(cat "$E2E/simport13.out")"
same_bytes 13 "$E2E/thirteen.log"
wait_for 30 grep -q '^COM13: .*waiting for it to return' "$LOG" || fail "COM13 did not wait for its device"
first=$(file_size "$E2E/thirteen.log")
simport 13 --pattern random --bytes 5000 --exit-when-read
wait_for 120 size_at_least "$E2E/thirteen.log" $((first + 5000)) || fail "the second run on COM13 was not logged"
wait "$SIMPORT_PID_13" || fail "the second simport 13 failed"
[ "$(tail -c +$((first + 1)) "$E2E/thirteen.log" | sha256sum | cut -d' ' -f1)" = \
  "$(sed -n 's/^sent .* sha256 //p' "$E2E/simport13.out")" ] || fail "COM13: the second run differs in the log"
! grep -q '^COM13: Status: Closed' "$LOG" || fail "COM13 was de-activated"
kill -TERM "$DAEMON_PID"
wait "$DAEMON_PID" || fail "ombrixd ended with status $?"
echo "all ombrixd end-to-end checks passed"

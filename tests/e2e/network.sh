#!/usr/bin/env bash
# ombrixd with ports on other machines, served by a real ser2net on
# 127.0.0.1: --check looks each one up and connects once; a session logs a
# network port byte-exact; a server that never answers holds up no other port;
# a port failing the same way is reported once, however often it is tried.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
daemon_setup
RFC=$(free_port) REFUSED=$(free_port)

# The simulator sends what the fifo gets, once ser2net has opened its device.
# fd 3 is its only writer: the other processes must not hold it.
mkfifo "$E2E/feed"
exec 3<>"$E2E/feed"
"$SIMPORT" --port 7 --stdin --exit-when-read <"$E2E/feed" >"$E2E/simport7.out" 2>&1 3>&- &
PIDS+=("$!")
wait_for 30 grep -q " -> " "$E2E/simport7.out" || fail "simport did not start"
printf '%%YAML 1.1\n---\nconnection: &rfc\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%s\n  connector: serialdev,%s,115200n81,local\n' \
  "$RFC" "$(sed -n 's/.* -> //p' "$E2E/simport7.out")" >"$E2E/ser2net.yaml"
ser2net -n -c "$E2E/ser2net.yaml" -P "$E2E/ser2net.pid" 2>"$E2E/ser2net.err" 3>&- &
PIDS+=("$!")
wait_for 30 eval 'ss -Hltn "sport = :$RFC" | grep -q .' || fail "ser2net does not listen"
NETSERVER=$(dirname "$0")/netserver.py
"$NETSERVER" silent "$E2E/silent.port" 3>&- &
PIDS+=("$!")
wait_for 30 test -e "$E2E/silent.port" || fail "the silent server did not start"
printf 'COM20=rfc2217://localhost:%s\nCOM21=tcp://127.0.0.1:%s\nCOM22=tcp://no-such-host.invalid:1\nCOM23=tcp://127.0.0.1:%s\n' \
  "$RFC" "$REFUSED" "$(cat "$E2E/silent.port")" >>"$XDG_CONFIG_HOME/Ombrix/Ombrix.conf"

echo "-- --check: a listening server passes; a refused port, an unknown host and no answer are problems"
bvx "20 $E2E/net.log 1" "21 $E2E/x.log 1" "22 $E2E/y.log 1" "23 $E2E/z.log 1" >"$E2E/check.bvx"
s=0 && "$DAEMON" --check "$E2E/check.bvx" >"$E2E/out" 2>&1 || s=$?
[ "$s" = 1 ] && grep -q "^Problem: session 2: COM21: tcp://127.0.0.1:$REFUSED: the connection was refused" "$E2E/out" &&
  grep -q '^Problem: session 3: COM22: .*the host no-such-host.invalid was not found' "$E2E/out" &&
  grep -q '^Problem: session 4: COM23: .*127.0.0.1 did not answer within 5 s$' "$E2E/out" &&
  grep -q '^3 problem(s) found' "$E2E/out" || { cat "$E2E/out"; fail "--check on network ports"; }

echo "-- a session on rfc2217:// logs every byte"
bvx "20 $E2E/net.log 1" >"$E2E/run.bvx"
(cd "$E2E" && exec "$DAEMON" run.bvx) 2>"$LOG" 3>&- &
DAEMON_PID=$!
PIDS+=("$DAEMON_PID")
wait_for 30 grep -q '^COM20: Status: Open (rfc2217://localhost:.*: the far port runs with baud rate 115200' "$LOG" ||
  fail "the far port's settings were not confirmed"
head -c 300000 /dev/urandom >"$E2E/sent"
cat "$E2E/sent" >&3
exec 3>&-
wait_for 60 grep -q '^sent' "$E2E/simport7.out" || fail "simport did not finish"
wait_for 30 size_at_least "$E2E/net.log" 300000 || fail "the log is short"
cmp "$E2E/sent" "$E2E/net.log" || fail "the log differs from what was sent"
kill -TERM "$DAEMON_PID"
wait "$DAEMON_PID" || fail "ombrixd ended with status $?"

echo "-- a server that never answers: its port shows it connecting while a local port logs"
head -c 5000 /dev/urandom >"$E2E/local.sent"
simport 24 --file "$E2E/local.sent" --exit-when-read
bvx "23 $E2E/silent.log 1" "24 $E2E/local.log 1" >"$E2E/silent.bvx"
(cd "$E2E" && exec "$DAEMON" silent.bvx) 2>"$LOG" 3>&- &
DAEMON_PID=$!
PIDS+=("$DAEMON_PID")
wait_for 30 cmp -s "$E2E/local.sent" "$E2E/local.log" || fail "the local port did not log"
grep '^COM23: ' "$LOG" | tail -n 1 | grep -Eq 'Status: Connecting \(tcp://|still trying to connect$' ||
  fail "the network port does not show it is connecting"
kill -TERM "$DAEMON_PID"
wait "$DAEMON_PID" || fail "ombrixd ended with status $?"

echo "-- one error line and one program start per change of a port's state, not per try"
"$NETSERVER" closer "$E2E/closer.port" >"$E2E/closer.out" 3>&- &
CLOSER_PID=$!
PIDS+=("$CLOSER_PID")
wait_for 30 test -e "$E2E/closer.port" || fail "the closing server did not start"
# COM25 is refused, COM26 closed at once, COM27 no address at all.
printf 'COM25=tcp://127.0.0.1:%s\nCOM26=tcp://127.0.0.1:%s\nCOM27=tcp://127.0.0.1\n' "$REFUSED" \
  "$(cat "$E2E/closer.port")" >>"$XDG_CONFIG_HOME/Ombrix/Ombrix.conf"
printf '#!/bin/sh\necho started >>"%s/started"\n' "$E2E" >"$E2E/on-error" && chmod +x "$E2E/on-error"
{ bvx "25 $E2E/refused.log 1" "26 $E2E/closer.log 1" "27 $E2E/none.log 1"; printf 'LogErrors=1\r\nOnErrorRunApp=%s\r\n' "$E2E/on-error"; } \
  >"$E2E/errors.bvx"
(cd "$E2E" && exec "$DAEMON" errors.bvx) 2>"$LOG" 3>&- &
DAEMON_PID=$!
PIDS+=("$DAEMON_PID")
tries_at_least() { [ "$(grep -c accepted "$E2E/closer.out")" -ge "$1" ]; }
errors() { grep -c "^Ombrix Error: $1" "$PROGDIR/errorlog.txt"; }
# COM25 and COM26 try every second, COM27 is activated again by the service
# every five: eight tries of COM26 span at least one of those.
wait_for 60 tries_at_least 8 || fail "COM26 was not tried again and again"
[ "$(errors 'COM25, .*refused')" = 1 ] && [ "$(errors 'COM26, .*in use')" = 1 ] &&
  [ "$(errors 'COM27, .*port number is missing')" = 1 ] || fail "a failing port was reported per try"
kill -USR1 "$CLOSER_PID"
wait_for 30 grep -q '^COM26: Status: Open' "$LOG" || fail "COM26 did not recover"
kill -USR2 "$CLOSER_PID"
tries=$(grep -c accepted "$E2E/closer.out")
wait_for 60 tries_at_least $((tries + 3)) || fail "COM26 was not tried again after the drop"
[ "$(errors 'COM26, .*connection was closed')" = 1 ] && [ "$(errors 'COM26, .*in use')" = 2 ] &&
  [ "$(errors '')" = 5 ] || fail "a recovered port that fails again was not reported once more"
wait_for 30 eval '[ "$(grep -c started "$E2E/started")" = 5 ]' || fail "the error program did not start once per report"
kill -TERM "$DAEMON_PID"
wait "$DAEMON_PID" || fail "ombrixd ended with status $?"
echo PASS

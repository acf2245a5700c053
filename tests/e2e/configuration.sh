#!/usr/bin/env bash
# The real program, its configuration files and the placement store:
# start-up, automatic activation, and the save at exit.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_setup
CONF=$XDG_CONFIG_HOME/Ombrix/Ombrix.conf

echo "-- a first start writes default.bvx and the placement at exit"
start_ombrix
stop_ombrix TERM
printf '[Ombrix]\r\nNumSessions=1\r\nWindowState=0\r\nPassword=\r\n[Session1]\r\nLogFile=%s/Ombrix.txt\r\nOutputFile=%s/COMOutputFile.txt\r\nAppendLinefeeds=0\r\nConnector=0\r\nBaudRate=6\r\nParity=0\r\nDatabits=3\r\nStopbits=0\r\nFlowControl=0\r\nAutoActivate=0\r\nOnErrorRunApp=\r\nLogErrors=0\r\n' \
  "$HOME" "$HOME" >"$E2E/expected.bvx"
cmp "$E2E/expected.bvx" "$PROGDIR/default.bvx" || fail "default.bvx after a first start differs"
for kv in MainLeft=1000 MainTop=1000 MainWidth=7000 MainHeight=5000; do
  grep -qx "$kv" "$CONF" || fail "placement $kv missing from $CONF"
done

echo "-- two sessions marked active log from start-up and stay marked"
simport 5 --pattern random --bytes 200000 --seed 5 --exit-when-read
simport 6 --pattern count --bytes 100000 --exit-when-read
printf '[Ombrix]\r\nNumSessions=2\r\n[Session1]\r\nLogFile=%s/five.log\r\nConnector=5\r\nBaudRate=12\r\nDatabits=3\r\nAutoActivate=1\r\n[Session2]\r\nLogFile=%s/six.log\r\nConnector=6\r\nBaudRate=6\r\nDatabits=3\r\nAutoActivate=1\r\n' \
  "$E2E" "$E2E" >"$PROGDIR/default.bvx"
start_ombrix
wait_for 60 size_at_least "$E2E/five.log" 200000 || fail "COM5 was not logged"
wait_for 60 size_at_least "$E2E/six.log" 100000 || fail "COM6 was not logged"
wait_for 30 grep -q '^sent' "$E2E/simport5.out" || fail "simport 5 did not finish"
wait_for 30 grep -q '^sent' "$E2E/simport6.out" || fail "simport 6 did not finish"
for port in 5 6; do
  log=$E2E/$([ $port = 5 ] && echo five || echo six).log
  sent=$(sed -n 's/^sent .* sha256 //p' "$E2E/simport$port.out")
  got=$(sha256sum "$log" | cut -d' ' -f1)
  [ "$sent" = "$got" ] || fail "COM$port: the log differs from what was sent"
done
stop_ombrix INT
[ "$(grep -c 'AutoActivate=1' "$PROGDIR/default.bvx")" = 2 ] || fail "the sessions were not saved as active"

echo "-- a command-line path with a blank, in one or two arguments; not written back"
mkdir -p "$E2E/my dir"
printf '[Ombrix]\r\nNumSessions=1\r\n[Session1]\r\nLogFile=/from/the command line.log\r\nConnector=0\r\n' >"$E2E/my dir/my conf.bvx"
cp "$E2E/my dir/my conf.bvx" "$E2E/original.bvx"
start_ombrix "my dir/my conf.bvx"
stop_ombrix TERM
grep -q 'LogFile=/from/the command line.log' "$PROGDIR/default.bvx" || fail "the quoted path was not loaded"
cmp "$E2E/original.bvx" "$E2E/my dir/my conf.bvx" || fail "the file named on the command line was written"
rm "$PROGDIR/default.bvx"
start_ombrix "$E2E/my" "dir/my" conf.bvx
stop_ombrix HUP
grep -q 'LogFile=/from/the command line.log' "$PROGDIR/default.bvx" || fail "the split path was not loaded"

echo "-- a minimised window's exit keeps the stored placement"
printf '[Settings]\nMainLeft=2000\nMainTop=3000\nMainWidth=8000\nMainHeight=6000\n' >"$CONF"
printf '[Ombrix]\r\nNumSessions=1\r\nWindowState=1\r\n' >"$PROGDIR/default.bvx"
(cd "$E2E" && exec "$PROGDIR/ombrix") >"$E2E/ombrix.log" 2>&1 &
OMBRIX=$!
PIDS+=("$OMBRIX")
wait_for 60 main_window_exists || fail "the minimised main window was not created"
stop_ombrix TERM
grep -q 'WindowState=1' "$PROGDIR/default.bvx" || fail "the minimised state was not saved"
for kv in MainLeft=2000 MainTop=3000 MainWidth=8000 MainHeight=6000; do
  grep -qx "$kv" "$CONF" || fail "placement $kv was not kept"
done
echo "all configuration end-to-end checks passed"

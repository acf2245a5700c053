#!/usr/bin/env bash
# The real program and its configuration file, on the offscreen platform:
# a first start in Japanese saves default.bvx, SIGTERM, SIGINT and SIGHUP
# each save, a path on the command line is loaded but never written, kill -9
# in the middle of the save leaves the old file or the new one.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
E2E_LANG=ja_JP.UTF-8 e2e_setup
unset DISPLAY WAYLAND_DISPLAY
BVX=$PROGDIR/default.bvx
ROUNDS=${FAULT_ROUNDS:-10}

echo "-- a first start in Japanese saves one default session at SIGTERM"
start_offscreen
stop_ombrix TERM
printf '[Ombrix]\r\nNumSessions=1\r\nWindowState=0\r\nPassword=\r\n[Session1]\r\nLogFile=%s/Ombrix.txt\r\nOutputFile=%s/COMOutputFile.txt\r\nAppendLinefeeds=0\r\nConnector=0\r\nBaudRate=6\r\nParity=0\r\nDatabits=3\r\nStopbits=0\r\nFlowControl=0\r\nAutoActivate=0\r\nOnErrorRunApp=\r\nLogErrors=0\r\n' \
  "$HOME" "$HOME" >"$E2E/first.bvx"
cmp "$E2E/first.bvx" "$BVX" || fail "default.bvx after a first start differs"

echo "-- --help and --version alone print and end, without a display; so does a start without one, status 1"
rm "$BVX"
"$PROGDIR/ombrix" --help | grep -q '^Usage: ombrix \[CONFIG\]' && "$PROGDIR/ombrix" --version | grep -q '^ombrix [0-9]' &&
  [ ! -e "$BVX" ] || fail "--help or --version did not print and end, or wrote default.bvx"
s=0; env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$PROGDIR/ombrix" >"$E2E/out" 2>&1 || s=$?
[ "$s" = 1 ] && [ "$(wc -l <"$E2E/out")" = 1 ] && grep -q '^ombrix: the window needs a graphical display.*ombrixd' "$E2E/out" &&
  [ ! -e "$BVX" ] || { cat "$E2E/out"; fail "without a display: status $s"; }

echo "-- a path with a blank, in one argument or split by the shell, is loaded and not written"
mkdir -p "$E2E/my dir"
printf '[Ombrix]\r\nNumSessions=1\r\n[Session1]\r\nLogFile=/from/the command line.log\r\n' >"$E2E/my dir/my conf.bvx"
cp "$E2E/my dir/my conf.bvx" "$E2E/original.bvx"
for signal in INT HUP; do
  rm -f "$BVX"
  if [ $signal = INT ]; then start_offscreen "my dir/my conf.bvx"; else start_offscreen "$E2E/my" "dir/my" conf.bvx; fi
  stop_ombrix $signal
  grep -q 'LogFile=/from/the command line.log' "$BVX" || fail "SIG$signal: the configuration was not loaded or not saved"
done
cmp "$E2E/original.bvx" "$E2E/my dir/my conf.bvx" || fail "the file named on the command line was written"

echo "-- kill -9 during the save at SIGTERM, $ROUNDS times: the old file or the new one, nothing else"
# The CPU time the process has used, in clock ticks; idle: its load is done.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
idle() { local before; before=$(cpu_ticks "$1") && sleep 0.1 && [ "$(cpu_ticks "$1")" = "$before" ]; }
strays() { find "$PROGDIR" -mindepth 1 ! -name ombrix ! -name ombrixd ! -name default.bvx ! -name errorlog.txt; }
{
  printf '[Ombrix]\nNumSessions=255\n'
  for i in $(seq 255); do printf '[Session%s]\nLogFile=%s/log%s.txt\nConnector=%s\n' "$i" "$E2E" "$i" "$i"; done
} >"$E2E/old.bvx"
cp "$E2E/old.bvx" "$BVX"
start_offscreen
wait_for 60 idle "$OMBRIX" || fail "the configuration was not loaded"
began=$(date +%s%N)
stop_ombrix TERM
save_ms=$((($(date +%s%N) - began) / 1000000))
cp "$BVX" "$E2E/new.bvx"
grep -q '^FlowControl=0$' "$E2E/new.bvx" && ! cmp -s "$E2E/old.bvx" "$E2E/new.bvx" || fail "the save changed nothing"
for ((round = 1; round <= ROUNDS; round++)); do
  cp "$E2E/old.bvx" "$BVX"
  start_offscreen
  wait_for 60 idle "$OMBRIX" || fail "the configuration was not loaded"
  kill -TERM "$OMBRIX"
  # Not a wait for anything: the kill lands at a random point from the save to the end.
  sleep "$(awk -v r="$RANDOM" -v ms="$save_ms" 'BEGIN { printf "%.3f", r / 32767 * ms / 1000 }')"
  kill -KILL "$OMBRIX" 2>/dev/null || true
  { wait "$OMBRIX" || true; } 2>/dev/null
  cmp -s "$BVX" "$E2E/old.bvx" || cmp -s "$BVX" "$E2E/new.bvx" ||
    fail "round $round: default.bvx is neither the old nor the new file ($(file_size "$BVX") bytes)"
  # A kill between the creation of the temporary file and its rename over
  # default.bvx leaves that file (default.bvx.XXXXXX) beside it: no process
  # can clean up after SIGKILL. Anything else is a stray.
  others=$(strays | grep -v '/default\.bvx\.[A-Za-z0-9]\{6\}$' || true)
  [ -z "$others" ] || fail "round $round left files behind: $others"
  rm -f "$PROGDIR"/default.bvx.??????
done

echo "all configuration end-to-end checks passed"

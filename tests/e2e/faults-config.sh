#!/usr/bin/env bash
# Faults around the configuration file, with the real program on the
# offscreen platform: SIGTERM saves the workspace, kill -9 in the middle of
# that save never leaves a broken file, and a configuration that cannot be
# read is neither fatal nor destroyed.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_setup
unset DISPLAY WAYLAND_DISPLAY
BVX=$PROGDIR/default.bvx
ROUNDS=${FAULT_ROUNDS:-20}

# What a plain first start saves: one session with the defaults.
printf '[Ombrix]\r\nNumSessions=1\r\nWindowState=0\r\nPassword=\r\n[Session1]\r\nLogFile=%s/Ombrix.txt\r\nOutputFile=%s/COMOutputFile.txt\r\nAppendLinefeeds=0\r\nConnector=0\r\nBaudRate=6\r\nParity=0\r\nDatabits=3\r\nStopbits=0\r\nFlowControl=0\r\nAutoActivate=0\r\nOnErrorRunApp=\r\nLogErrors=0\r\n' \
  "$HOME" "$HOME" >"$E2E/first.bvx"
# Files in the program directory other than the program's own.
# The CPU time the process has used, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# Whether the program sits idle (its load done): no CPU time used between two looks.
idle() {
  local before
  before=$(cpu_ticks "$1") && sleep 0.1 && [ "$(cpu_ticks "$1")" = "$before" ]
}
strays() { find "$PROGDIR" -mindepth 1 ! -name ombrix ! -name ombrixd ! -name default.bvx ! -name errorlog.txt; }

echo "-- SIGTERM while logging saves the workspace in place of the old file"
printf '; kept: a comment\n[Ombrix]\nNumSessions=2\nMine=kept too\n[Session1]\nLogFile=%s/ws.log\nConnector=31\nBaudRate=12\nDatabits=3\nAutoActivate=1\n\n[Session2]\nLogFile=%s/idle.log\n' \
  "$E2E" "$E2E" >"$BVX"
device 31 ws --rate 30000
start_offscreen
wait_for 30 size_at_least "$E2E/ws.log" 5000 || fail "COM31 is not logged"
inode=$(stat -c %i "$BVX")
stop_ombrix TERM
stop_device ws
taken=$(($(sent_size ws) - UNREAD))
[ "$(file_size "$E2E/ws.log")" = "$taken" ] && cmp -n "$taken" "$E2E/ws.log" "$E2E/ws.sent" ||
  fail "the log does not hold the $taken bytes the program took"
[ "$(stat -c %i "$BVX")" != "$inode" ] || fail "default.bvx was written in place, not replaced"
# Keys missing from the file were loaded as empty or the first list entry.
printf '; kept: a comment\n[Ombrix]\nNumSessions=2\nMine=kept too\nWindowState=0\nPassword=\n[Session1]\nLogFile=%s/ws.log\nConnector=31\nBaudRate=12\nDatabits=3\nAutoActivate=1\nOutputFile=\nAppendLinefeeds=0\nParity=0\nStopbits=0\nFlowControl=0\n\n[Session2]\nLogFile=%s/idle.log\nOutputFile=\nAppendLinefeeds=0\nConnector=0\nBaudRate=0\nParity=0\nDatabits=0\nStopbits=0\nFlowControl=0\nAutoActivate=0\nOnErrorRunApp=\nLogErrors=0\n' \
  "$E2E" "$E2E" >"$E2E/ws.bvx"
diff "$E2E/ws.bvx" "$BVX" >&2 || fail "the saved workspace differs"

echo "-- kill -9 during the save at SIGTERM, $ROUNDS times: the old file or the new one, nothing else"
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
old=0 new=0
for ((round = 1; round <= ROUNDS; round++)); do
  cp "$E2E/old.bvx" "$BVX"
  start_offscreen
  wait_for 60 idle "$OMBRIX" || fail "the configuration was not loaded"
  kill -TERM "$OMBRIX"
  # The kill lands anywhere from the save to the end.
  sleep "$(awk -v r="$RANDOM" -v ms="$save_ms" 'BEGIN { printf "%.3f", r / 32767 * ms / 1000 }')"
  kill -KILL "$OMBRIX" 2>/dev/null || true
  { wait "$OMBRIX" || true; } 2>/dev/null
  if cmp -s "$BVX" "$E2E/old.bvx"; then
    old=$((old + 1))
  elif cmp -s "$BVX" "$E2E/new.bvx"; then
    new=$((new + 1))
  else
    cp "$BVX" "$E2E/broken.bvx"
    fail "round $round: default.bvx is neither the old nor the new file ($(file_size "$BVX") bytes)"
  fi
  [ -z "$(strays)" ] || fail "round $round left files behind: $(strays)"
done
echo "   $old rounds left the old file, $new the new one (a whole save takes $save_ms ms)"
cp "$E2E/old.bvx" "$BVX"
start_offscreen
stop_ombrix TERM
cmp -s "$BVX" "$E2E/new.bvx" || fail "the start after the kills did not save as before"

echo "-- a configuration that cannot be read: one default session, the file left alone"
unreadable() { # KIND PATH
  case $1 in
  directory) mkdir "$2" && printf '[Ombrix]\nNumSessions=3\n' >"$2/inside" ;;
  fifo) mkfifo "$2" ;;
  # Over 16 MiB, starting like a configuration of three sessions.
  large) printf '[Ombrix]\r\nNumSessions=3\r\n' >"$2" && truncate -s 17M "$2" ;;
  esac
}
fingerprint() { stat -c "%F %i %s %Y" "$1" && if [ -f "$1" ]; then head -c 64 "$1" | od -c | head -n 2; fi; }
for kind in directory fifo large; do
  for where in default argument; do
    rm -rf "$BVX" "$E2E/conf.bvx"
    target=$([ $where = default ] && echo "$BVX" || echo "$E2E/conf.bvx")
    unreadable $kind "$target"
    before=$(fingerprint "$target")
    if [ $where = default ]; then start_offscreen; else start_offscreen "$E2E/conf.bvx"; fi
    stop_ombrix TERM
    [ "$(fingerprint "$target")" = "$before" ] || fail "$kind as the $where configuration was changed"
    [ $kind != directory ] || [ "$(cat "$target/inside")" = "$(printf '[Ombrix]\nNumSessions=3')" ] ||
      fail "the directory's content was changed"
    if [ $where = argument ]; then
      cmp "$E2E/first.bvx" "$BVX" || fail "$kind named on the command line: not one default session"
    fi
  done
done
echo "all configuration fault checks passed"

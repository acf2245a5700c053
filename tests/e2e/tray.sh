#!/usr/bin/env bash
# The tray (trayer) and the password under a real window manager (openbox):
# minimising, mapping, frames, centring, placement, and SIGTERM after refusals.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_setup

. "$(dirname "$0")/desktop.sh"

# The program talks to the X server through xtrace, which logs its requests:
# whether a window manager wins a race against the program is chance, but
# what the program asked for, in what order, is not.
trace_display=$((${DISPLAY#:} + 500))
xtrace -n -k -D ":$trace_display" -d "$DISPLAY" -o "$E2E/x.trace" >"$E2E/xtrace.log" 2>&1 &
PIDS+=("$!")
wait_for 30 test -S "/tmp/.X11-unix/X$trace_display" || fail "xtrace did not start"
# xtrace cannot pass on the descriptors of shared-memory images: Qt draws
# through the connection instead.
start() { (cd "$E2E" && DISPLAY=:$trace_display QT_XCB_NO_MITSHM=1 exec "$PROGDIR/ombrix") >"$E2E/ombrix.log" 2>&1 & OMBRIX=$! && PIDS+=("$OMBRIX"); }
# Windows the program mapped while their hints asked to start iconified
# (WM_HINTS with the state flag and IconicState); with a tray, a minimised
# window goes there and is never mapped so.
iconic_maps() {
  awk '/ChangeProperty .*property=0x23\("WM_HINTS"\)/ {
         match($0, /window=0x[0-9a-f]+/); w = substr($1, 1, 3) substr($0, RSTART + 7, RLENGTH - 7)
         split(substr($0, index($0, "data=") + 5), d, ",")
         iconic[w] = d[1] ~ /[2367abef]$/ && d[3] == "0x00000003" }
       /Request\(8\): MapWindow/ {
         match($0, /window=0x[0-9a-f]+/); w = substr($1, 1, 3) substr($0, RSTART + 7, RLENGTH - 7)
         if (iconic[w]) print substr(w, 4) }' "$E2E/x.trace"
}

# Placement in twips (15 to a pixel): the frame's top-left corner, the inner size.
mkdir -p "$XDG_CONFIG_HOME/Ombrix"
printf '[Settings]\nMainLeft=1500\nMainTop=1200\nMainWidth=7500\nMainHeight=5250\n' >"$XDG_CONFIG_HOME/Ombrix/Ombrix.conf"

echo "-- minimised by the window manager: into the tray; wrong, cancel, then SIGTERM ends and saves"
printf '[Ombrix]\r\nNumSessions=1\r\nWindowState=0\r\nPassword=pw 1\r\n' >"$PROGDIR/default.bvx"
start
wait_for 30 eval '[ -n "$(main_window)" ]' || fail "the main window did not show"
main=$(main_window)
placed() { [ "$(outer "$main" | cut -d' ' -f1,2)" = "100 80" ] &&
  [ "$(xdotool getwindowgeometry "$main" | sed -n 's/.*Geometry: //p')" = "500x350" ]; }
wait_for 30 placed || fail "the stored placement was not applied: $(outer "$main")"
wait_for 30 icon_there || fail "no tray icon"
xdotool windowminimize "$main"
wait_for 30 unmapped "$main" || fail "the minimised window did not go to the tray"
prompt_answer "wrong" "$main"
wait_for 30 window_named '^Ombrix$' || fail "no message for a wrong password"
box=$(xdotool search --onlyvisible --name '^Ombrix$' | head -n 1)
[ "$box" != "$main" ] || fail "the window came back after a wrong password"
xdotool windowactivate --sync "$box" key Return
gone() { ! winfo "$1" 2>/dev/null | grep -q IsViewable; }
wait_for 30 gone "$box" || fail "the message did not close"
kill -0 "$OMBRIX" || fail "ombrix ended after a wrong password"
unmapped "$main" || fail "the window is mapped after a wrong password"
prompt_answer --cancel "$main"
wait_for 30 eval '! window_named "^Ombrix Password$"' || fail "the prompt did not close on cancel"
unmapped "$main" && icon_there || fail "the window is not back in the tray after a cancel"
kill -TERM "$OMBRIX"
wait_for 60 eval '! kill -0 "$OMBRIX" 2>/dev/null' || fail "ombrix did not end after SIGTERM"
wait "$OMBRIX" || fail "ombrix ended with status $?"
grep -q 'WindowState=1' "$PROGDIR/default.bvx" && grep -q 'Password=pw 1' "$PROGDIR/default.bvx" ||
  fail "the minimised window was not saved"

echo "-- saved minimised: only the icon; the right answer brings the window back where it was"
start
wait_for 30 icon_there || fail "no tray icon"
prompt_answer "pw 1"
wait_for 30 eval '[ -n "$(main_window)" ]' || fail "the right password did not bring the window back"
main=$(main_window)
wait_for 30 placed || fail "the window came back elsewhere: $(outer "$main")"
[ -z "$(iconic_maps)" ] || fail "mapped while asking to start iconified: $(iconic_maps)"
stop_ombrix TERM
grep -q 'WindowState=0' "$PROGDIR/default.bvx" || fail "the restored window was not saved as normal"
for kv in MainLeft=1500 MainTop=1200 MainWidth=7500 MainHeight=5250; do
  grep -q "^$kv$" "$XDG_CONFIG_HOME/Ombrix/Ombrix.conf" || fail "the placement changed: $(cat "$XDG_CONFIG_HOME/Ombrix/Ombrix.conf")"
done
echo "all tray end-to-end checks passed"

#!/usr/bin/env bash
# The tray icon on a real system tray (trayer): a configuration saved
# minimised with a password starts in the tray, and its menu brings the
# window back only with the right password.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_setup

trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 32 >/dev/null 2>&1 &
PIDS+=("$!")
wait_for 30 eval "xdotool search --classname trayer >/dev/null" || fail "trayer did not start"

# The tray icon: the program's small window inside the tray.
tray_icon() {
  local w geometry
  for w in $(xdotool search --onlyvisible --pid "$OMBRIX" 2>/dev/null); do
    geometry=$(xdotool getwindowgeometry "$w" | sed -n 's/.*Geometry: //p')
    [ "${geometry%%x*}" -lt 64 ] && { echo "$w"; return 0; }
  done
  return 1
}
icon_there() { tray_icon >/dev/null; }
window_named() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
more_windows_than() { [ "$(xdotool search --onlyvisible --pid "$OMBRIX" 2>/dev/null | wc -l)" -gt "$1" ]; }

echo "-- saved minimised with a password: only the icon, then the prompt"
printf '[Ombrix]\r\nNumSessions=1\r\nWindowState=1\r\nPassword=pw 1\r\n' >"$PROGDIR/default.bvx"
(cd "$E2E" && exec "$PROGDIR/ombrix") >"$E2E/ombrix.log" 2>&1 &
OMBRIX=$!
PIDS+=("$OMBRIX")
wait_for 30 icon_there || fail "no tray icon"
! main_window_up || fail "the minimised main window is showing"
icon=$(tray_icon)
eval "$(xdotool getwindowgeometry --shell "$icon")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
wait_for 30 more_windows_than 1 || fail "the tray menu did not open"
# The menu's first entry is Open.
menu=
for w in $(xdotool search --onlyvisible --pid "$OMBRIX"); do
  [ "$w" != "$icon" ] && { menu=$w; break; }
done
[ -n "$menu" ] || fail "the tray menu window was not found"
eval "$(xdotool getwindowgeometry --shell "$menu")"
xdotool mousemove $((X + 30)) $((Y + 12)) click 1
wait_for 30 window_named '^Ombrix Password$' || fail "no password prompt"
prompt=$(xdotool search --onlyvisible --name '^Ombrix Password$' | head -n 1)
xdotool windowfocus --sync "$prompt"
xdotool type --delay 20 "pw 1"
xdotool key Return
wait_for 30 main_window_up || fail "the right password did not bring the window back"
stop_ombrix TERM
grep -q 'WindowState=0' "$PROGDIR/default.bvx" || fail "the restored window was not saved as normal"
echo "all tray end-to-end checks passed"

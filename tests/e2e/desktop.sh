# Shared steps of the end-to-end tests on a real desktop, sourced after
# lib.sh and e2e_setup, on the X server of with-xvfb.sh: a window manager
# (openbox) and a system tray (trayer), and ways to find and drive the
# program's windows.
openbox --sm-disable >"$E2E/openbox.log" 2>&1 &
PIDS+=("$!")
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
wait_for 30 wm_up || fail "openbox did not start"
trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 32 >/dev/null 2>&1 &
PIDS+=("$!")
wait_for 30 eval "xdotool search --classname trayer >/dev/null" || fail "trayer did not start"

# xwininfo and xprop wait for a click when given no window: never call them so.
winfo() { [ -n "$1" ] && xwininfo -id "$@"; }
wprop() { [ -n "$1" ] && xprop -id "$@"; }

# ombrix_window ICON|MAIN: the tray icon (narrow), or the main window (wide,
# named Ombrix, and not a menu, which the window manager does not manage).
ombrix_window() {
  local w width
  for w in $(xdotool search --onlyvisible --pid "$OMBRIX" 2>/dev/null); do
    width=$(xdotool getwindowgeometry "$w" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
    if [ "$1" = ICON ]; then [ "$width" -lt 64 ]; else [ "$width" -ge 64 ] && [ "$(xdotool getwindowname "$w")" = Ombrix ] &&
      ! winfo "$w" | grep -q 'Override Redirect State: yes'; fi && { echo "$w"; return 0; }
  done
  return 0
}
tray_icon() { ombrix_window ICON; }
main_window() { ombrix_window MAIN; }
icon_there() { [ -n "$(tray_icon)" ]; }
window_named() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
unmapped() { winfo "$1" 2>/dev/null | grep -q 'Map State: IsUnMapped'; }
# A window's outer rectangle, "X Y WIDTH HEIGHT" (xdotool miscounts reparented ones).
outer() {
  local l r t b x y w h
  IFS=', ' read -r l r t b < <(wprop "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= //p') || true
  read -r x y w h < <(winfo "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
    /^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF } END { print x, y, w, h }')
  echo "$((x - ${l:-0})) $((y - ${t:-0})) $((w + ${l:-0} + ${r:-0})) $((h + ${t:-0} + ${b:-0}))"
}
framed() { wprop "$1" _NET_FRAME_EXTENTS 2>/dev/null | grep -q '= [1-9]\|, [1-9]'; }

# tray_menu: opens the tray menu (clicked again if it did not open);
# tray_open: its Open, by its access key (whichever item the pointer highlights).
tray_menu() {
  menu_open() { [ "$(xdotool search --onlyvisible --pid "$OMBRIX" 2>/dev/null | wc -l)" -gt 1 ]; }
  local icon
  for _ in 1 2 3 4 5 6; do
    icon=$(tray_icon)
    [ -n "$icon" ] || { wait_for 30 icon_there || fail "no tray icon"; continue; }
    read -r X Y WIDTH HEIGHT < <(outer "$icon")
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
    wait_for 5 menu_open && return 0
  done
  fail "the tray menu did not open"
}
tray_open() { tray_menu && xdotool key o; }

# prompt_answer TEXT|--cancel [WINDOW]: from the tray; WINDOW and any main
# window stay unmapped while it asks, its frame centred on the 1024x768 screen.
prompt_answer() {
  local prompt
  tray_open
  wait_for 30 window_named '^Ombrix Password$' || fail "no password prompt"
  prompt=$(xdotool search --onlyvisible --name '^Ombrix Password$' | head -n 1)
  if [ -n "${2:-}" ]; then unmapped "$2" || fail "the window is mapped while the prompt asks"; fi
  [ -z "$(main_window)" ] || fail "a main window shows while the prompt asks"
  wait_for 30 framed "$prompt" || fail "the prompt got no frame"
  centred() { outer "$prompt" | awk '{ exit !(($1 * 2 + $3 - 1024) ^ 2 <= 4 && ($2 * 2 + $4 - 768) ^ 2 <= 4) }'; }
  wait_for 30 centred || fail "the prompt is not centred with its frame: $(outer "$prompt")"
  xdotool windowactivate --sync "$prompt"
  # Keys go where the X input focus is, which may follow the activation.
  focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$prompt" ]; }
  wait_for 30 focused || fail "the prompt did not get the keyboard"
  if [ "$1" = --cancel ]; then xdotool key Escape; else xdotool type --delay 20 "$1" && xdotool key Return; fi
}

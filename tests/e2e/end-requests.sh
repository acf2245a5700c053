#!/usr/bin/env bash
# An end request while a dialog, a message box or a menu is open, on a real
# desktop: every row ends with status 0 and the configuration saved, the
# session's port closed with it. VALGRIND=1 runs the program under memcheck
# and fails a row on any invalid read or write.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_setup
. "$(dirname "$0")/desktop.sh"

simport 3 --pattern text --rate 960
memcheck=()
[ -z "${VALGRIND:-}" ] || memcheck=(valgrind --log-file="$E2E/valgrind.%p")

# The program's visible windows that are not its main window or tray icon.
others() { xdotool search --onlyvisible --pid "$OMBRIX" 2>/dev/null | grep -v -x -e "$(main_window)" -e "$(tray_icon)" || true; }
opened() { [ -n "$(others)" ]; }
# keys [KEY...]: typed into the main window once it has the keyboard.
keys() {
  local main
  main=$(main_window)
  xdotool windowactivate --sync "$main" >/dev/null 2>&1 || true
  focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$main" ]; }
  wait_for 30 focused || fail "the main window did not get the keyboard"
  [ $# = 0 ] || xdotool key --delay 100 "$@"
}

# What each row opens: a dialog or menu of the program, waiting until it shows.
open_ports() { keys Menu s && wait_for 30 window_named '^Serial Ports$'; }
open_portmenu() { keys Menu && wait_for 30 opened; }
open_about() { keys alt+h a && wait_for 30 window_named '^About Ombrix$'; }
open_fileopen() { keys ctrl+o && wait_for 30 opened; }
open_saveas() { keys ctrl+s && wait_for 30 opened; } # no file name yet: Save As
# Alt+F belongs to the session's Flow Control: the File menu by the mouse.
open_filemenu() { keys && xdotool mousemove --window "$(main_window)" 20 10 click 1 && wait_for 30 opened; }
open_traymenu() { tray_menu; }
open_prompt() { tray_open && wait_for 30 window_named '^Ombrix Password$'; }
open_invalid() { prompt_answer wrong && wait_for 30 window_named '^Ombrix$'; }
open_question() { wait_for 30 opened; }

# row WHAT REQUEST [KEYS [LAST-KEYS]]: starts the program on a configuration
# of an active session and an idle one, whose port list has the keyboard,
# with further keys of [Ombrix] and of the last session ("K=V\r\n"...),
# opens WHAT and asks it to end by REQUEST: a signal, or "close" (the window
# manager's close of the main window).
row() {
  local what=$1 request=$2 config=$E2E/$1.bvx
  printf "[Ombrix]\r\nNumSessions=2\r\n${3:-}[Session1]\r\nLogFile=%s\r\nConnector=3\r\nAutoActivate=1\r\n[Session2]\r\nConnector=4\r\n${4:-}" \
    "$E2E/$what.log" >"$config"
  echo "-- $what open, then $request"
  rm -f "$PROGDIR/default.bvx"
  (cd "$E2E" && exec "${memcheck[@]}" "$PROGDIR/ombrix" "$config") >"$E2E/ombrix.log" 2>&1 &
  OMBRIX=$!
  PIDS+=("$OMBRIX")
  wait_for 120 eval '[ -n "$(main_window)" ] || icon_there' || fail "$what: the program did not come up"
  wait_for 60 size_at_least "$E2E/$what.log" 1 || fail "$what: the session does not log"
  "open_$what" || fail "$what did not open"
  case $request in
  close) wmctrl -i -c "$(main_window)" ;;
  *) kill -"$request" "$OMBRIX" ;;
  esac
  local status=0
  wait_for 120 eval '! kill -0 "$OMBRIX" 2>/dev/null' || fail "$what, $request: ombrix did not end"
  wait "$OMBRIX" || status=$?
  [ "$status" = 0 ] || fail "$what, $request: ombrix ended with status $status"
  grep -q "^LogFile=$E2E/$what.log" "$PROGDIR/default.bvx" && grep -q '^AutoActivate=1' "$PROGDIR/default.bvx" ||
    fail "$what, $request: the configuration was not saved"
  [ -z "${VALGRIND:-}" ] || ! grep -l 'Invalid \(read\|write\)' "$E2E"/valgrind.* || fail "$what: memcheck"
}

row ports TERM
row portmenu INT
row about HUP
row fileopen TERM
row saveas INT
row filemenu close
row traymenu TERM
row prompt HUP 'WindowState=1\r\nPassword=pw\r\n'
row invalid TERM 'WindowState=1\r\nPassword=pw\r\n'
row question TERM '' "OnErrorRunApp=touch $E2E/ran\r\n"
echo "all end-request checks passed"

#!/usr/bin/env bash
# Runs a command on an X server of its own. Xvfb picks a free display number
# itself (-displayfd) and writes it once it accepts clients, so tests running
# side by side never share or race for one. -noreset keeps the server from
# resetting whenever its last client leaves, which would refuse the next
# client's connection for a moment.
set -euo pipefail
dir=$(mktemp -d)
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -rf "$dir"' EXIT
# A loaded machine may take long to start the server: give up after 120 s only.
for ((i = 0; i < 1200; i++)); do
  grep -qs '^[0-9][0-9]*$' "$dir/display" && break
  kill -0 "$xvfb" 2>/dev/null || { cat "$dir/xvfb.log" >&2; exit 1; }
  sleep 0.1
done
grep -qs '^[0-9][0-9]*$' "$dir/display" || { echo "Xvfb did not start" >&2; cat "$dir/xvfb.log" >&2; exit 1; }
export DISPLAY=:$(head -n 1 "$dir/display")
unset XAUTHORITY
xdotool getdisplaygeometry >/dev/null || { echo "cannot connect to $DISPLAY" >&2; exit 1; }
status=0
"$@" || status=$?
exit "$status"

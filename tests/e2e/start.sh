#!/usr/bin/env bash
# Starts the built program on a real X server (run under xvfb-run) with a
# throw-away home and checks that its main window comes up and stays up.
# Usage: start.sh PROGRAM LANG
set -euo pipefail
program=$1
lang=$2

home=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$home"
}
trap cleanup EXIT
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share
export XDG_RUNTIME_DIR=$home/run && mkdir -m 700 "$XDG_RUNTIME_DIR"
export LANG=$lang LC_ALL= LC_MESSAGES=
unset QT_QPA_PLATFORM

"$program" >"$home/out.log" 2>&1 &
pid=$!

# Wait (up to 30 s) for the main window to be mapped.
window=
for _ in $(seq 300); do
  window=$(xdotool search --onlyvisible --name '^Ombrix$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
  kill -0 "$pid" 2>/dev/null || { echo "ombrix exited early:"; cat "$home/out.log"; exit 1; }
  sleep 0.1
done
[ -n "$window" ] || { echo "no main window appeared"; cat "$home/out.log"; exit 1; }
kill -0 "$pid" || { echo "ombrix is not running"; exit 1; }
echo "main window $window is up ($lang)"

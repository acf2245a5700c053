# Shared steps of the end-to-end tests, sourced after set -euo pipefail.
BUILD_DIR=${BUILD_DIR:?BUILD_DIR must name the build directory}

e2e_setup() {
  E2E=$(mktemp -d)
  export HOME=$E2E/home XDG_CONFIG_HOME=$E2E/home/.config XDG_DATA_HOME=$E2E/home/.local/share
  export XDG_RUNTIME_DIR=$E2E/run LANG=${E2E_LANG:-C.UTF-8} LC_ALL= LC_MESSAGES=
  mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  unset QT_QPA_PLATFORM
  # The program keeps default.bvx beside itself: give it a directory of its own.
  PROGDIR=$E2E/prog
  mkdir -p "$PROGDIR" && cp "$BUILD_DIR/ombrix" "$PROGDIR/ombrix"
  [ ! -x "$BUILD_DIR/ombrixd" ] || cp "$BUILD_DIR/ombrixd" "$PROGDIR/ombrixd"
  SIMPORT=$BUILD_DIR/ombrix-simport
  PIDS=()
  trap e2e_cleanup EXIT
}

# For the service's tests: no display at all, its copy and its log.
daemon_setup() {
  e2e_setup
  unset DISPLAY WAYLAND_DISPLAY
  DAEMON=$PROGDIR/ombrixd LOG=$E2E/ombrixd.log
}

e2e_cleanup() {
  kill "${PIDS[@]}" 2>/dev/null || true
  wait "${PIDS[@]}" 2>/dev/null || true
  [ -n "${E2E_KEEP:-}" ] || rm -rf "$E2E"
}

fail() {
  echo "FAIL: $*" >&2
  [ -f "$E2E/ombrix.log" ] && sed 's/^/  ombrix: /' "$E2E/ombrix.log" >&2
  [ -f "$E2E/ombrixd.log" ] && sed 's/^/  ombrixd: /' "$E2E/ombrixd.log" >&2
  exit 1
}

# wait_for SECONDS COMMAND...: polls the condition every 50 ms.
wait_for() {
  local limit=$(($1 * 20)) i
  shift
  for ((i = 0; i < limit; i++)); do
    "$@" && return 0
    sleep 0.05
  done
  return 1
}

# The program catches SIGTERM once its handler is installed, before the
# configuration is loaded; from then on a SIGTERM saves. Until the exec, the
# process is still the starting shell, whose own handler does not count.
catches_sigterm() {
  local mask
  [ "$(readlink "/proc/$1/exe")" = "$PROGDIR/ombrix" ] || return 1
  mask=$(sed -n 's/^SigCgt:[[:space:]]*//p' "/proc/$1/status" 2>/dev/null) && [ -n "$mask" ] && (((0x$mask >> 14) & 1))
}

# start_offscreen ARGS...: starts the program on the offscreen platform and
# waits until a SIGTERM would save and end it.
start_offscreen() {
  (cd "$E2E" && QT_QPA_PLATFORM=offscreen exec "$PROGDIR/ombrix" "$@") >"$E2E/ombrix.log" 2>&1 &
  OMBRIX=$!
  PIDS+=("$OMBRIX")
  wait_for 60 catches_sigterm "$OMBRIX" || fail "ombrix did not come up"
}

# stop_ombrix [SIGNAL]: asks the program to close and waits for it to end.
stop_ombrix() {
  kill -"${1:-TERM}" "$OMBRIX"
  wait "$OMBRIX" || fail "ombrix ended with status $?"
}

# simport PORT ARGS...: starts the device simulator on COM<PORT>; waits for the mapping.
simport() {
  local port=$1
  "$SIMPORT" --port "$@" >"$E2E/simport$port.out" 2>&1 &
  PIDS+=("$!")
  eval "SIMPORT_PID_$port=$!"
  wait_for 30 grep -q " -> " "$E2E/simport$port.out" || fail "simport $port did not start"
}

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
file_size() { stat -c %s "$1" 2>/dev/null || echo 0; }
size_at_least() { [ "$(file_size "$1")" -ge "$2" ]; }
sent_size() { file_size "$E2E/$1.sent"; }

# bvx "PORT LOG AUTOACTIVATE"...: a configuration of those sessions (115200,N,8,1).
bvx() {
  local n=0 s
  printf '[Ombrix]\r\nNumSessions=%s\r\n' "$#"
  for s in "$@"; do
    set -- $s
    n=$((n + 1))
    printf '[Session%s]\r\nLogFile=%s\r\nConnector=%s\r\nBaudRate=12\r\nDatabits=3\r\nAutoActivate=%s\r\n' \
      "$n" "$2" "$1" "$3"
  done
}

# device PORT NAME ARGS...: starts tests/e2e/device.py behind the link
# $E2E/dev/NAME and maps COM<PORT> to that link. It records what it sent in
# $E2E/NAME.sent and says what it does in $E2E/NAME.out; its process id is
# in DEVICE_<NAME>.
device() {
  local port=$1 name=$2
  shift 2
  mkdir -p "$E2E/dev" "$XDG_CONFIG_HOME/Ombrix"
  python3 "$(dirname "${BASH_SOURCE[0]}")/device.py" "$E2E/dev/$name" "$E2E/$name.sent" "$@" \
    >"$E2E/$name.out" 2>&1 &
  PIDS+=("$!")
  eval "DEVICE_$name=$!"
  wait_for 30 grep -qs "^ready" "$E2E/$name.out" || fail "device $name did not start"
  printf '[Ports]\nCOM%s=%s\n' "$port" "$E2E/dev/$name" >"$XDG_CONFIG_HOME/Ombrix/Ombrix.conf"
}

# stop_device NAME: ends a device.
stop_device() {
  local pid=DEVICE_$1
  kill -TERM "${!pid}"
  wait "${!pid}" || fail "device $1 failed"
}

#!/usr/bin/env bash
# Installs the Debian packages Ombrix needs to build, run and test, and only
# those that are missing, so a second run costs nothing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-serialport-dev
  # ombrixd's metrics over HTTP; Debian's Qt HttpServer CMake files also
  # look for Qt WebSockets, which its package does not bring.
  qt6-httpserver-dev qt6-websockets-dev
  # ombrixd's readiness and watchdog notes to systemd (sd_notify).
  libsystemd-dev
  xvfb xauth xdotool trayer fonts-noto-cjk imagemagick socat
  # A real window manager, its inspection tools, a way to ask it to close a
  # window, and a log of the program's X requests for the tray test.
  openbox x11-utils xtrace wmctrl
  # Families with the designed faces' widths, so the designed layouts fit.
  fonts-liberation2 fonts-ipafont-gothic
  dpkg-dev file desktop-file-utils shared-mime-info groff-base
  # The package test checks the .deb and the service unit as Debian and
  # systemd would (systemd-analyze needs no running systemd).
  lintian systemd
  python3
  # The far side of network ports in the tests.
  ser2net
  # A real scraper of ombrixd's metrics, and its checker, in the tests; curl
  # asks both over HTTP.
  prometheus curl
)
# `deps.sh fuzz` (make fuzz): also clang and its libFuzzer and sanitizer
# runtimes. Other arguments name further packages that one task needs (the
# benchmarks' peers, for example).
if [ "${1:-}" = fuzz ]; then
  packages+=(clang-14 libclang-rt-14-dev)
else
  packages+=("$@")
fi

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"

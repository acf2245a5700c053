#!/usr/bin/env bash
# Installs the built tree into a temporary root and checks what landed there:
#   install.sh tree|deb BUILD_DIR HAVE_OMBRIXD HAVE_HELP
# (tree: cmake --install with DESTDIR; deb: cpack, then dpkg-deb -x). Then
# starts the installed ombrix and, when built, runs the installed ombrixd.
set -euo pipefail
mode=$1 build=$2 have_ombrixd=$3 have_help=$4
tmp=$(mktemp -d)
pid=
trap '[ -z "$pid" ] || { kill -KILL "$pid"; wait "$pid"; } 2>/dev/null; [ -n "${E2E_KEEP:-}" ] || rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
root=$tmp/root usr=$tmp/root/usr

if [ "$mode" = tree ]; then
  DESTDIR=$root cmake --install "$build" --prefix /usr >"$tmp/install.log" || { cat "$tmp/install.log"; fail "cmake --install"; }
else
  cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log"; fail "cpack"; }
  debs=("$tmp"/pkg/ombrix_*.deb)
  deb=${debs[0]}
  [ ${#debs[@]} -eq 1 ] && [ -f "$deb" ] || fail "no single ombrix_*.deb in $(ls "$tmp/pkg")"
  dpkg-deb -x "$deb" "$root" && dpkg-deb -e "$deb" "$tmp/control"
  [ "$(dpkg-deb -f "$deb" Package)" = ombrix ] && [ -n "$(dpkg-deb -f "$deb" Version Maintainer Description)" ] ||
    fail "control fields"
  depends=$(dpkg-deb -f "$deb" Depends)
  for dep in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libc6 fonts-noto-cjk; do
    [[ ", $depends," == *", $dep"[\ ,]* ]] || fail "Depends lacks $dep: $depends"
  done
  [ "$have_ombrixd" = 0 ] || grep -q ' /var/log/ombrix$' "$tmp/control/postinst" || fail "postinst makes no /var/log/ombrix"
  for script in postinst prerm postrm; do
    [ "$have_ombrixd" = 0 ] || { [ -x "$tmp/control/$script" ] && sh -n "$tmp/control/$script"; } || fail "$script"
  done
  # Debian's own checks, default profile: not one error or warning.
  lintian --fail-on error,warning "$deb" >"$tmp/lintian.log" 2>&1 || { cat "$tmp/lintian.log"; fail "lintian"; }
fi

# Programs, data, help, icons of the sizes their directories name.
for f in bin/ombrix bin/ombrix-simport share/ombrix/example.bvx; do [ -e "$usr/$f" ] || fail "$f missing"; done
[ "$have_help" = 0 ] || [ -s "$usr/share/ombrix/ombrix.chm" ] || fail "help file missing"
for size in 16 32 48 256; do
  png=$usr/share/icons/hicolor/${size}x$size/apps/ombrix.png
  file -b "$png" | grep -q "PNG image data, $size x $size," || fail "$png: $(file -b "$png" 2>&1)"
done
grep -q '<svg' "$usr/share/icons/hicolor/scalable/apps/ombrix.svg" || fail "scalable icon missing"

# The desktop entry opens configurations, whose type the MIME database gives to *.bvx.
desktop=$usr/share/applications/ombrix.desktop
desktop-file-validate "$desktop" || fail "desktop entry does not validate"
for line in 'Exec=ombrix %f' Icon=ombrix 'Categories=Utility;Development;'; do
  grep -qx "$line" "$desktop" || fail "desktop entry lacks $line"
done
mimetype=$(sed -n 's/^MimeType=\([^;]*\);$/\1/p' "$desktop")
cp -r "$usr/share/mime" "$tmp/mime" && update-mime-database "$tmp/mime" || fail "update-mime-database"
[ -n "$mimetype" ] && grep -qx "50:$mimetype:\*\.bvx" "$tmp/mime/globs2" || fail "*.bvx is not '$mimetype'"

# Man pages: gzipped, filled in, naming the installed prefix, and groff finds nothing to warn about.
for page in ombrix.1 ombrix-simport.1 $([ "$have_ombrixd" = 0 ] || echo ombrixd.8); do
  zcat "$usr/share/man/man${page##*.}/$page.gz" >"$tmp/$page" || fail "$page.gz"
  ! grep -n '@[A-Z_]*@' "$tmp/$page" && [ -z "$(groff -man -Tutf8 -ww -z "$tmp/$page" 2>&1)" ] || fail "$page"
done
grep -q '/usr/share/ombrix/example.bvx' "$tmp/ombrix.1" || fail "ombrix.1 names the wrong prefix"

# The service unit runs the installed ombrixd and lets it reach logs and devices.
unit=$usr/lib/systemd/system/ombrixd@.service
if [ "$have_ombrixd" = 1 ]; then
  for line in 'ExecStart=/usr/bin/ombrixd /etc/ombrix/%i.bvx' User=ombrix SupplementaryGroups=dialout \
    Restart=on-failure StateDirectory=ombrix; do
    grep -qx "$line" "$unit" || fail "unit lacks $line"
  done
  ! grep -Eq '^(ProtectHome|PrivateDevices|PrivateTmp|DevicePolicy|DeviceAllow|ProtectClock)=' "$unit" ||
    fail "unit blocks logs or devices"
  # systemd reads every key and value (it only warns of a misspelt one); the
  # installed program stands in for /usr/bin/ombrixd, not installed here.
  sed "s|^ExecStart=/usr/bin/ombrixd|ExecStart=$usr/bin/ombrixd|" "$unit" >"$tmp/ombrixd@.service"
  verify=$(systemd-analyze verify --man=no "$tmp/ombrixd@.service" 2>&1) && [ -z "$verify" ] ||
    fail "systemd-analyze verify: $verify"
  # The example passes --check on a fresh install: its log directory is the
  # one postinst makes (here in a mount of our own), its COM1 a character
  # device the service user's port map names.
  mkdir -p "$tmp/svc/.config/Ombrix" && printf '[Ports]\nCOM1=/dev/null\n' >"$tmp/svc/.config/Ombrix/Ombrix.conf"
  HOME=$tmp/svc XDG_CONFIG_HOME=$tmp/svc/.config unshare -rm sh -c 'mount -t tmpfs tmpfs /var/log &&
    mkdir /var/log/ombrix && exec "$0" --check "$1"' "$usr/bin/ombrixd" "$usr/share/ombrix/example.bvx" \
    >"$tmp/check.out" 2>&1 && grep -q '/var/log/ombrix/COM1.txt' "$tmp/check.out" ||
    { cat "$tmp/check.out"; fail "ombrixd --check on the example"; }
else
  [ ! -e "$unit" ] && [ ! -e "$usr/bin/ombrixd" ] || fail "ombrixd parts installed without ombrixd"
fi

# The installed ombrix keeps default.bvx in the per-user data directory,
# even where it could write beside itself, and saves it on SIGTERM.
export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config XDG_DATA_HOME=$tmp/home/.local/share
export XDG_RUNTIME_DIR=$tmp/run QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 LC_ALL= LC_MESSAGES=
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
(cd "$tmp" && exec "$usr/bin/ombrix") >"$tmp/ombrix.log" 2>&1 &
pid=$!
# Ready for SIGTERM once it runs ombrix and its handler is in place (signal 15: 0x4000 of SigCgt).
handles_term() {
  local mask
  [ "$(readlink "/proc/$pid/exe")" = "$usr/bin/ombrix" ] && mask=$(sed -n 's/^SigCgt:\s*//p' "/proc/$pid/status") &&
    [ $((0x$mask & 0x4000)) -ne 0 ]
}
for ((i = 0; i < 1200; i++)); do
  handles_term && break
  kill -0 "$pid" 2>/dev/null || { cat "$tmp/ombrix.log"; fail "ombrix ended early"; }
  sleep 0.05
done
kill -TERM "$pid" && wait "$pid" || { cat "$tmp/ombrix.log"; fail "ombrix ended with status $?"; }
pid=
grep -q '^\[Ombrix\]' "$XDG_DATA_HOME/Ombrix/Ombrix/default.bvx" || fail "no default.bvx in the per-user data directory"
[ ! -e "$usr/bin/default.bvx" ] || fail "ombrix wrote default.bvx beside itself"
echo "installed tree ($mode) is complete"

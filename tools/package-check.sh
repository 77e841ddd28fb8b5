#!/usr/bin/env bash
# Checks the Debian package as a user gets it: builds it with ./package.sh
# (the Qt 6 one; with --qt5 the Qt 5.15 one), installs it on THIS computer
# with apt-get, runs the installed mirt-desktop with no display (--version,
# and --export-log on a call log the program made itself), checks that the
# package's Depends names every package of packaging/runtime-depends, the
# package of every SQL driver and platform plugin the program loaded and of
# the Wayland platform plugin, and no Qt package of the other major, that the
# installed program links the libraries of its own Qt major only (ldd), and
# removes the package again. Exits non-zero on any failure.
# It changes the system: it installs packages (the build's and the package's
# dependencies, which stay) and installs and removes mirt-desktop. It needs
# root or sudo, and stops if mirt-desktop is installed already.
set -euo pipefail
cd "$(dirname "$0")/.."
qt=6 other=5 build=build-package
case "${1:-}" in
  "") ;;
  --qt5) qt=5 other=6 build=build-package-qt5 ;;
  *)
    echo "usage: tools/package-check.sh [--qt5]" >&2
    exit 2
    ;;
esac

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
fail() {
  echo "package-check: FAILED: $*" >&2
  exit 1
}

echo "package-check: this changes the system: it installs Debian packages, then"
echo "package-check: installs the mirt-desktop package and removes it again."
if dpkg-query -W -f='${Status}' mirt-desktop 2>/dev/null | grep -q "install ok installed"; then
  fail "mirt-desktop is installed already; remove it first (apt-get remove mirt-desktop)"
fi

./package.sh ${1:+"$1"} >&2 || fail "./package.sh $*"
deb=$(ls "$PWD/$build"/*.deb)
echo "package-check: built $deb"
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
echo "package-check: Depends: $depends"
# One dependency a line, as written in runtime-depends.
depends_lines=$(sed 's/, */\n/g' <<<"$depends")
# Whether Depends names the package $1, with or without a version, alone or
# as one of alternatives.
named() { tr '|' '\n' <<<"$depends_lines" | awk '{print $1}' | grep -qxF "$1"; }

named "libqt${qt}core${qt}" || named "libqt${qt}core${qt}a" || fail "Depends names no Qt $qt runtime"
# Debian's Qt packages carry the major in their names: libqt6gui6,
# qt6-wayland, libqt5sql5-psql, qtwayland5.
wrong=$(tr '|' '\n' <<<"$depends_lines" | awk '{print $1}' | grep -E "^(libqt${other}|qt${other}-|qt[a-z]+${other}\$)" || true)
[ -z "$wrong" ] || fail "Depends of the Qt $qt package names Qt $other packages: $wrong"
while read -r major dependency; do
  [[ -z "$major" || "$major" == \#* ]] && continue
  [[ "$major" == any || "$major" == "$qt" ]] || continue
  grep -qxF "$dependency" <<<"$depends_lines" || fail "Depends does not name $dependency"
done <packaging/runtime-depends

# Listed once: grep -q leaving a pipe early would kill dpkg-deb, which
# pipefail counts as a missing page.
contents=$(dpkg-deb -c "$deb")
for page in mirt-desktop.1.gz mirt-unit-sim.1.gz; do
  grep -q "/usr/share/man/man1/$page\$" <<<"$contents" || fail "the package has no manual page $page"
done

work=$(mktemp -d)
gui=""
cleanup() {
  [ -n "$gui" ] && kill "$gui" 2>/dev/null
  if dpkg-query -W -f='${Status}' mirt-desktop 2>/dev/null | grep -q "install ok installed"; then
    echo "package-check: removing mirt-desktop"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -qq mirt-desktop >/dev/null || echo "package-check: FAILED to remove mirt-desktop" >&2
  fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "package-check: installing $deb"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$deb" >/dev/null || fail "apt-get install $deb"

# The installed program links its own Qt major only, and finds every library.
libraries=$(ldd /usr/bin/mirt-desktop) || fail "ldd /usr/bin/mirt-desktop"
! grep -q "not found" <<<"$libraries" || fail "the installed mirt-desktop misses libraries: $(grep "not found" <<<"$libraries")"
qtlibs=$(awk '$1 ~ /^libQt/ {print $1}' <<<"$libraries" | sort)
[ -n "$qtlibs" ] || fail "ldd shows no Qt library"
! grep -qv "^libQt${qt}" <<<"$qtlibs" || fail "the installed mirt-desktop links other than Qt $qt: $(grep -v "^libQt${qt}" <<<"$qtlibs" | tr '\n' ' ')"
echo "package-check: ldd /usr/bin/mirt-desktop: Qt libraries $(tr '\n' ' ' <<<"$qtlibs")"
# On a Wayland session Qt runs the program as a Wayland client (Qt 5 not on
# GNOME, or with QT_QPA_PLATFORM=wayland) through these plugins.
for plugin in platforms/libqwayland-generic.so wayland-shell-integration/libxdg-shell.so; do
  path=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/qt$qt/plugins/$plugin
  owner=$(dpkg -S "$path" 2>/dev/null | head -n 1 | cut -d: -f1) || true
  [ -n "$owner" ] || fail "no package has $path"
  named "$owner" || fail "the Wayland plugin $path comes from $owner, which Depends does not name"
  echo "package-check: Wayland plugin $path, from $owner: in Depends"
done

# The installed program, with no display and a home of its own.
program() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u DBUS_SESSION_BUS_ADDRESS HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
    XDG_DATA_HOME="$work/home/.local/share" XDG_CACHE_HOME="$work/home/.cache" QT_DEBUG_PLUGINS=1 \
    /usr/bin/mirt-desktop "$@"
}
mkdir -p "$work/home"

out=$(program --version 2>"$work/version.err") || fail "mirt-desktop --version: $(cat "$work/version.err")"
[ "$out" = "mirt-desktop $version" ] || fail "mirt-desktop --version printed '$out', not 'mirt-desktop $version'"
echo "package-check: mirt-desktop --version: $out"

# The window (on Qt's offscreen platform) makes the call log; the export
# then reads it, also while the window is still open.
program -platform offscreen >"$work/window.log" 2>&1 &
gui=$!
exported=""
for _ in $(seq 1 40); do
  if program --export-log "$work/calls.csv" >"$work/export.log" 2>&1; then
    exported=yes
    break
  fi
  kill -0 "$gui" 2>/dev/null || fail "mirt-desktop -platform offscreen stopped: $(tail -n 5 "$work/window.log")"
  sleep 0.5
done
[ -n "$exported" ] || fail "mirt-desktop --export-log: $(grep -v QFactoryLoader "$work/export.log" | tail -n 5)"
head -n 1 "$work/calls.csv" | grep -q . || fail "the exported file is empty"
echo "package-check: mirt-desktop --export-log: $(grep '^mirt-desktop: ' "$work/export.log")"
kill "$gui" 2>/dev/null || true
wait "$gui" 2>/dev/null || true
gui=""

# Every driver and platform plugin the program loaded must come from a
# package Depends names. Image formats, icon engines, styles and themes are
# loaded because they are there (all images the program shows are PNG, which
# Qt reads itself): they are listed, not required.
# Qt 5 writes 'loaded library "<path>"', Qt 6 '"<path>" loaded library'.
plugins=$(cat "$work/window.log" "$work/export.log" | sed -nE 's/.*loaded library "([^"]+)".*/\1/p; s/.*"([^"]+)" loaded library.*/\1/p' | sort -u)
grep -q '/sqldrivers/' <<<"$plugins" || fail "the export loaded no SQL driver (QT_DEBUG_PLUGINS gave: $plugins)"
while read -r plugin; do
  owner=$(dpkg -S "$plugin" 2>/dev/null | head -n 1 | cut -d: -f1) || true
  [ -n "$owner" ] || fail "no package has $plugin"
  case "$plugin" in
    */sqldrivers/* | */platforms/* | */wayland-*/* | */xcbglintegrations/*)
      named "$owner" || fail "$plugin comes from $owner, which Depends does not name"
      echo "package-check: needed plugin $plugin, from $owner: in Depends" ;;
    *) echo "package-check: optional plugin $plugin, from $owner" ;;
  esac
done <<<"$plugins"

echo "package-check: all checks passed"

#!/usr/bin/env bash
# Runs a command on a private X server with a private D-Bus session bus and
# the accessibility bus on it, so that the programs it starts and the screen
# reader clients it starts meet there and nowhere else:
#
#   tools/a11y-session.sh COMMAND [ARGUMENT]...
#
# The command finds DISPLAY, DBUS_SESSION_BUS_ADDRESS (this bus, in place of
# whatever was set before, such as the dead address the test suite sets),
# QT_QPA_PLATFORM=xcb (the bridge to the accessibility bus lives in the xcb
# platform plugin), QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 and
# QT_XCB_GL_INTEGRATION=none set. Everything it
# started goes when the command ends. Used by tst_a11y and tools/a11y-dump.
set -euo pipefail

work="$(mktemp -d)"
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# Waits up to ten seconds for the command after it to succeed.
settle() {
  local i
  for i in $(seq 100); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
filled() { [ -s "$1" ]; }
fail() {
  echo "a11y-session: $1" >&2
  cat "$work"/*.log >&2 2>/dev/null || true
  exit 1
}

# -noreset: at-spi-bus-launcher writes the accessibility bus's address on
# the root window, where a program started as root finds it; a server that
# resets when its last client leaves would lose it. The server picks a free
# display and writes its number to descriptor 3.
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
settle filled "$work/display" || fail "the X server did not start"
export DISPLAY=":$(head -n 1 "$work/display")"

dbus-daemon --session --nofork --print-address=3 3>"$work/bus" 2>"$work/bus.log" &
pids+=($!)
settle filled "$work/bus" || fail "the session bus did not start"
export DBUS_SESSION_BUS_ADDRESS="$(head -n 1 "$work/bus")"

# The launcher keeps the accessibility bus's socket under the runtime folder.
export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
launcher=""
for candidate in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
  [ -x "$candidate" ] && launcher="$candidate" && break
done
[ -n "$launcher" ] || fail "at-spi-bus-launcher not found (Debian package at-spi2-core)"
"$launcher" --launch-immediately --a11y=1 >"$work/atspi.log" 2>&1 &
pids+=($!)
# Qt reads the address once, when the program starts; a program that starts
# before it is there misses the bus.
published() { xprop -root AT_SPI_BUS 2>/dev/null | grep -q 'unix:'; }
settle published || fail "the accessibility bus did not start"

# No OpenGL, as the program itself chooses before it starts (prepareDisplay):
# the console draws with the raster engine, and a test needs none either.
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_XCB_GL_INTEGRATION=none
rc=0
"$@" || rc=$?
exit "$rc"

#!/usr/bin/env bash
# Takes docs/call-log.png: the call log window of the real program after the
# simulated unit has played part of its scripted show (mirt-unit-sim --show)
# to a console. Runs under a virtual X server with a private HOME and data
# folder, so the user's own settings and call log are untouched.
# Usage: tools/calllog-screen.sh [BUILD_DIR]   (default: the repository's build/)
set -euo pipefail
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
if [ -n "${1:-}" ] && [ "$1" != "--inside" ]; then
  case "$1" in /*) build="$1" ;; *) build="$PWD/$1" ;; esac
fi
cd "$(dirname "$self")/.."

if [ "${1:-}" != "--inside" ]; then
  . tools/deps.sh
  mirt_install_deps xvfb xauth xdotool imagemagick python3
  build="${build:-$PWD/build}"
  [ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2 --target mirt-desktop mirt-unit-sim >/dev/null
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  mkdir -p docs
  MIRT_SHOT_BUILD="$(cd "$build" && pwd)" MIRT_SHOT_WORK="$work" MIRT_SHOT_PORT="$port" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$self" --inside
  exit 0
fi

build="$MIRT_SHOT_BUILD"
work="$MIRT_SHOT_WORK"
port="$MIRT_SHOT_PORT"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM
log="$work/sim.log"

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT
fail() { echo "calllog-screen: $*" >&2; tail -n 15 "$log" >&2; exit 1; }
wait_for() {
  local limit=$(( $1 * 10 )) i=0
  shift
  until "$@"; do
    i=$((i + 1))
    [ "$i" -le "$limit" ] || return 1
    sleep 0.1
  done
}
window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
has_window() { [ -n "$(window "$1")" ]; }

# The unit plays its show from the moment it starts; the console connects at once.
"$build/sim/mirt-unit-sim" --port "$port" --show --add-to-directory --verbose >"$log" 2>&1 &
pids+=($!)
wait_for 10 grep -q "listening" "$log" || fail "the simulated unit did not start"
"$build/app/mirt-desktop" >"$work/app.log" 2>&1 &
pids+=($!)
wait_for 15 has_window "MIRT Desktop Control" || fail "no main window"
main=$(window "MIRT Desktop Control")
sleep 0.5
xdotool mousemove --window "$main" 100 64 click 1
sleep 0.3
xdotool mousemove --window "$main" 418 44 click 1
wait_for 20 grep -q 'TX: <login success="true"' "$log" || fail "the console did not log in"
wait_for 10 has_window "MIRT Orvel$" || fail "no console window"

# A whole round of the show: four calls rung, answered, held, aired and
# dropped, with notes typed on three of them.
sleep 68
console=$(window "MIRT Orvel$")
xdotool windowfocus "$console"
xdotool key --window "$console" ctrl+l
wait_for 10 has_window "^Call Log$" || fail "Ctrl+L opened no log window"
logwin=$(window "^Call Log$")
xdotool windowsize "$logwin" 1200 580
xdotool windowfocus "$logwin"
sleep 1.5
# The first call of the show (the bottom row), so its notes show beside the table.
xdotool mousemove --window "$logwin" 300 173 click 1
sleep 0.8
import -window "$logwin" docs/call-log.png
echo docs/call-log.png

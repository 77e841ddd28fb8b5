#!/usr/bin/env bash
# Takes docs/call-log.png: the call log window of the real program, sorted by
# name, after the simulated unit has played part of its scripted show
# (mirt-unit-sim --show) to a console. Runs under a virtual X server with a private HOME and data
# folder, so the user's own settings and call log are untouched.
# Usage: tools/calllog-screen.sh [BUILD_DIR]   (default: the repository's build/)
set -euo pipefail
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
if [ -n "${1:-}" ] && [ "$1" != "--inside" ]; then
  case "$1" in /*) build="$1" ;; *) build="$PWD/$1" ;; esac
fi
cd "$(dirname "$self")/.."

. tools/xsession.sh
[ "${1:-}" = "--inside" ] || mirt_x_run "-screen 0 1280x1024x24"
mirt_x_inside

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
# Focus as a window manager gives it on a click, then the key through the X
# test extension, as a keyboard types it.
xdotool windowfocus --sync "$console"
xdotool key ctrl+l
wait_for 10 has_window "^Call Log$" || fail "Ctrl+L opened no log window"
logwin=$(window "^Call Log$")
xdotool windowsize "$logwin" 1200 580
xdotool windowfocus "$logwin"
sleep 1.5
# Sorted by name: a click on the Name header, so the log's database sorts.
xdotool mousemove --window "$logwin" ${MIRT_NAME_X:-400} ${MIRT_HEADER_Y:-52} click 1
sleep 1
# The first row, so its notes show beside the table.
xdotool mousemove --window "$logwin" 300 ${MIRT_ROW_Y:-75} click 1
sleep 0.8
import -window "$logwin" docs/call-log.png
echo docs/call-log.png

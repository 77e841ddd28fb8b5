#!/usr/bin/env bash
# Takes docs/caller-history-completion.png and docs/caller-history.png: a
# console of the real program completing a name from the call log, and the
# "Caller History" window, after the simulated unit has played its scripted
# show (mirt-unit-sim --show) once and its callers ring again. Runs under a
# virtual X server with a private HOME and data folder, so the user's own
# settings and call log are untouched.
# Usage: tools/history-screen.sh [BUILD_DIR]   (default: the repository's build/)
set -euo pipefail
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
if [ -n "${1:-}" ] && [ "$1" != "--inside" ]; then
  case "$1" in /*) build="$1" ;; *) build="$PWD/$1" ;; esac
fi
cd "$(dirname "$self")/.."

. tools/xsession.sh
[ "${1:-}" = "--inside" ] || mirt_x_run "-screen 0 1280x1024x24"
mirt_x_inside

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

# A whole round of the show (82 s), then its first three callers ring again
# and are answered or held: their lines carry the mark of earlier calls.
sleep 104
console=$(window "MIRT Orvel$")
xdotool windowfocus --sync "$console"
# An idle line's caller editor: two letters offer the earlier callers.
xdotool key F6
sleep 0.3
xdotool key ctrl+e
xdotool type --delay 150 "ma"
sleep 1.5
import -window "$console" docs/caller-history-completion.png
xdotool key Escape Escape
# Margaret, on line 1: her history, with a flag set.
xdotool key F1
sleep 0.3
xdotool key ctrl+h
wait_for 10 has_window "^Caller History$" || fail "Ctrl+H opened no history window"
history=$(window "^Caller History$")
xdotool windowsize "$history" 1000 360
xdotool windowfocus --sync "$history"
sleep 1
xdotool key Tab
xdotool type --delay 50 "regular: bins"
xdotool key Return
sleep 1.5
import -window "$history" docs/caller-history.png
echo docs/caller-history-completion.png docs/caller-history.png

#!/usr/bin/env bash
# Takes the README's pictures under a virtual X server, against the simulated
# unit with made-up calls: docs/main-window.png (the unit directory),
# docs/connection-screen.png (a console waiting for its unit) and
# docs/console.png (the live console with ringing, answered, held and on-air
# lines), docs/console-high-contrast.png (the same in high contrast, the
# selected line framed) and docs/console-150.png (the same console on a
# desktop scaled to 150 %). Runs with a private HOME, so the user's own
# settings are untouched.
# Usage: tools/screenshots.sh [BUILD_DIR]   (default: the repository's build/)
set -euo pipefail
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
# A build directory given on the command line is taken from where we were called.
if [ -n "${1:-}" ] && [ "$1" != "--inside" ]; then
  case "$1" in /*) build="$1" ;; *) build="$PWD/$1" ;; esac
fi
cd "$(dirname "$self")/.."

. tools/xsession.sh
[ "${1:-}" = "--inside" ] || mirt_x_run "-screen 0 2048x1536x24 -dpi 96 -noreset" x11-xserver-utils

# From here on: inside the virtual X server.
mirt_x_inside
sim="$build/sim/mirt-unit-sim"
app="$build/app/mirt-desktop"

# The latest status the unit reported for each line, as "line status" rows.
line_states() {
  sed -n 's/.*TX: <line_status line_id="\([0-9]*\)".* status="\([^"]*\)".*/\1 \2/p' "$log" \
    | awk '{ id = $1; $1 = ""; state[id] = substr($0, 2) } END { for (i in state) print i, state[i] }' | sort -n
}
lines_in() { line_states | awk -v s="$1" '{ id = $1; $1 = ""; if (substr($0, 2) == s) print id }'; }
count_in() { [ "$(lines_in "$2" | wc -l)" -ge "$1" ]; }

# Clicks at a point of the console's 1024 x 768 scene; the view stretches the
# scene over the whole window.
click_scene() {
  local geometry w h
  geometry=$(xdotool getwindowgeometry --shell "$console")
  w=$(sed -n 's/^WIDTH=//p' <<<"$geometry")
  h=$(sed -n 's/^HEIGHT=//p' <<<"$geometry")
  xdotool mousemove --window "$console" $(( $1 * w / 1024 )) $(( $2 * h / 768 )) click 1
  sleep 0.3
}
# A line's lamps lean 45 degrees from their corner; these are their centres.
lamp_y() { echo $(( 92 + 58 * $1 )); }
answer() { click_scene 34 "$(lamp_y "$1")"; }
hold() { click_scene 104 "$(lamp_y "$1")"; }
air() { click_scene 604 "$(lamp_y "$1")"; }

# 1. Put the unit in the directory, then leave the port closed for now, so the
#    console first shows its connection screen.
: >"$log"
"$sim" --port "$port" --add-to-directory >"$log" 2>&1 &
pids+=($!)
wait_for 10 grep -q "listening" "$log" || fail "the simulated unit did not start"
kill "${pids[-1]}"
wait "${pids[-1]}" 2>/dev/null || true

# 2. The main window with the unit's row selected.
"$app" >"$work/app.log" 2>&1 &
pids+=($!)
wait_for 15 has_window "MIRT Desktop Control" || fail "no main window"
main=$(window "MIRT Desktop Control")
sleep 0.5
xdotool mousemove --window "$main" 100 64 click 1
sleep 0.5
import -window "$main" docs/main-window.png
echo docs/main-window.png

# 3. Connect: the console keeps trying while nothing listens.
xdotool mousemove --window "$main" 418 44 click 1
wait_for 10 has_window "MIRT Orvel$" || fail "no console window"
console=$(window "MIRT Orvel$")
xdotool windowsize "$console" 1024 768
sleep 3
import -window "$console" docs/connection-screen.png
echo docs/connection-screen.png

# 4. The unit comes up with made-up calls; the console's next attempt logs in.
: >"$log"
"$sim" --port "$port" --calls --verbose >"$log" 2>&1 &
pids+=($!)
wait_for 30 grep -q 'TX: <login success="true"' "$log" || fail "the console did not log in"
wait_for 30 count_in 3 ringing || fail "no calls rang"
# The live console is a window of its own that replaces the connection screen.
wait_for 10 has_window "MIRT Orvel$" || fail "no live console window"
console=$(window "MIRT Orvel$")
xdotool windowsize "$console" 1024 768
# With no window manager to do it, give the console the focus, so it draws
# as the active window.
xdotool windowfocus "$console"
sleep 0.5

# 5. Put the three longest-ringing calls on air, on hold and on the handset
#    (the last one pressed is the selected line, whose caller the editor shows).
#    A second AIR locks the call on air, so its lamp stops blinking.
read -r -a ringing <<<"$(lines_in ringing | head -3 | tr '\n' ' ')"
air "${ringing[0]}"
wait_for 5 count_in 1 "on air" || fail "no line went on air"
air "${ringing[0]}"
wait_for 5 grep -q "line_id=\"${ringing[0]}\" .*locked=\"true\"" "$log" || fail "the call on air was not locked"
hold "${ringing[1]}"
answer "${ringing[2]}"
wait_for 5 count_in 1 "on hold" || fail "no line went on hold"
wait_for 5 count_in 1 "on handset" || fail "no line was answered"

# 6. A screener's note on the answered caller, a word in the studio chat, then
#    wait for fresh calls to ring beside them.
click_scene 890 685
xdotool type --delay 20 "Called last week too; keep it short"
click_scene 815 369
xdotool type --delay 20 "Line $((ringing[0] + 1)) is on air, line $((ringing[1] + 1)) goes next"
xdotool key Return
wait_for 20 count_in 2 ringing || fail "no new calls rang"
sleep 1

# 7. Ringing lamps blink; take the picture while they are lit (green).
#    The point sampled is on the first ringing ANSWER lamp, beside its label,
#    in window pixels at the scale given ($2, in percent): lit, it is green
#    with less red than $3 (0.5; the high-contrast green is paler).
lit() {
  local x y
  x=$(( 28 * $2 / 100 ))
  y=$(( ($(lamp_y "$(lines_in ringing | head -1)") - 6) * $2 / 100 ))
  convert "$1" -format '%[fx:p{'"$x,$y"'}.g > 0.5 && p{'"$x,$y"'}.r < '"${3:-0.5}"' ? 1 : 0]' info:
}
# Takes the console's picture at a scale (percent) into a file of docs/.
shoot() {
  for attempt in $(seq 1 20); do
    import -window "$console" "$work/console.png"
    [ "$(lit "$work/console.png" "$1" "${3:-0.5}")" = 1 ] && break
    sleep 0.1
  done
  cp "$work/console.png" "docs/$2"
  echo "docs/$2"
}
shoot 100 console.png

# 8. High contrast, from the console's context menu (its last entry, which
#    the Up key reaches first), with the answered caller's line selected by
#    a click, so the console has the focus and frames it; then back.
contrast() {
  local geometry w h
  geometry=$(xdotool getwindowgeometry --shell "$console")
  w=$(sed -n 's/^WIDTH=//p' <<<"$geometry")
  h=$(sed -n 's/^HEIGHT=//p' <<<"$geometry")
  xdotool mousemove --window "$console" $(( 300 * w / 1024 )) $(( 30 * h / 768 )) click 3
  sleep 0.5
  xdotool key Up Return
  sleep 0.5
}
contrast
click_scene 350 $(( 92 + 58 * ringing[2] ))
shoot 100 console-high-contrast.png 0.7
contrast

# 9. The same unit on a desktop scaled to 150 %: the desktop says so through
#    the X resource Xft.dpi (144 dots per inch against the usual 96), read by
#    a program when it starts; everything is drawn at 1.5 device pixels per
#    unit. The server keeps the resource because it runs with -noreset.
kill "${pids[1]}"
wait "${pids[1]}" 2>/dev/null || true
echo "Xft.dpi: 144" | xrdb -nocpp -merge
"$app" >"$work/app-150.log" 2>&1 &
pids+=($!)
wait_for 15 has_window "MIRT Desktop Control" || fail "no main window at 150 %"
main=$(window "MIRT Desktop Control")
sleep 0.5
# The main window's own layout is scaled too: its row and Connect button lie
# at 1.5 times their places above.
xdotool mousemove --window "$main" 150 96 click 1
sleep 0.5
xdotool mousemove --window "$main" 627 66 click 1
logins() { [ "$(grep -c 'TX: <login success="true"' "$log")" -ge 2 ]; }
wait_for 30 logins || fail "the console did not log in at 150 %"
sleep 1
wait_for 10 has_window "MIRT Orvel$" || fail "no live console at 150 %"
console=$(window "MIRT Orvel$")
xdotool windowsize "$console" 1536 1152
xdotool windowfocus "$console"
wait_for 20 count_in 1 ringing || fail "no call rang at 150 %"
# Select the answered caller, so the editor shows the screener's note again.
click_scene 350 $(( 92 + 58 * ringing[2] ))
sleep 1
shoot 150 console-150.png

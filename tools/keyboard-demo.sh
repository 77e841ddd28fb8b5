#!/usr/bin/env bash
# Works one call through the real program with key presses only, under a
# virtual X server, against the simulated unit with made-up calls: Return in
# the unit directory connects; on the console F<n> selects the ringing line,
# Alt+A answers it, Ctrl+E and typing give the caller a name, Alt+H holds it,
# Alt+R puts it on air and Alt+R again locks it there, Alt+D arms the drop and
# a second Alt+D drops it, and Ctrl+T sends a chat line. Then it prints what
# the unit received from the console and checks that it is exactly that.
# The windows are given the input focus as a window manager would on a click;
# everything else is a key event (xdotool, through the X test extension).
# Runs with a private HOME, so the user's own settings are untouched.
# Usage: tools/keyboard-demo.sh [BUILD_DIR] [--shot FILE]   (default: build/)
#   --shot FILE  also saves a picture of the Ctrl+/ list of shortcuts.
set -euo pipefail
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"

if [ "${1:-}" != "--inside" ]; then
  build="" shot=""
  while [ $# -gt 0 ]; do
    case "$1" in
      --shot) shot="$(realpath -m "$2")"; shift 2 ;;
      /*) build="$1"; shift ;;
      *) build="$PWD/$1"; shift ;;
    esac
  done
  cd "$(dirname "$self")/.."
  . tools/xsession.sh
  export MIRT_DEMO_SHOT="$shot"
  mirt_x_run "-screen 0 1280x1024x24"
fi

# From here on: inside the virtual X server.
cd "$(dirname "$self")/.."
. tools/xsession.sh
mirt_x_inside
shot="$MIRT_DEMO_SHOT"
key() { echo "  key: $*"; xdotool key --delay 60 "$@"; }
type_text() { echo "  type: $1"; xdotool type --delay 60 "$1"; }
# The console's frames to the unit from here on, and the unit's reports.
received() { grep ' rx: ' "$log" | tail -n +"$((from + 1))"; }
reported() { grep -q "TX: <line_status [^>]*line_id=\"$line\"[^>]*$1" "$log"; }
got() { received | grep -q "$1"; }

# 1. The unit, with made-up calls; it puts itself in the directory first.
"$build/sim/mirt-unit-sim" --port "$port" --calls --verbose --add-to-directory >"$log" 2>&1 &
pids+=($!)
wait_for 10 grep -q "listening" "$log" || fail "the simulated unit did not start"

# 2. The directory: Down chooses its one row, Return connects.
"$build/app/mirt-desktop" >"$work/app.log" 2>&1 &
pids+=($!)
wait_for 15 has_window "MIRT Desktop Control" || fail "no main window"
xdotool windowfocus --sync "$(window "MIRT Desktop Control")"
sleep 0.5
key Down Return
wait_for 30 grep -q 'TX: <login success="true"' "$log" || fail "the console did not log in"
wait_for 10 has_window "MIRT Orvel$" || fail "no console window"
console=$(window "MIRT Orvel$")
xdotool windowsize "$console" 1024 768
xdotool windowfocus --sync "$console"
sleep 0.5

# 3. The first made-up call that rings.
wait_for 30 grep -q 'status="ringing"' "$log" || fail "no call rang"
line=$(grep -m1 -o 'TX: <line_status [^>]*status="ringing"' "$log" | sed 's/.*line_id="\([0-9]*\)".*/\1/')
from=$(grep -c ' rx: ' "$log")
echo "line $((line + 1)) rings"

key "F$((line + 1))" alt+a
wait_for 5 reported 'status="on handset"' || fail "ANSWER did not reach the unit"
# The unit fills in the made-up caller as the call is picked up; the editor
# shows it before the name is typed over it.
wait_for 5 grep -q "TX: <ancillary_data [^>]*line_id=\"$line\"[^>]*name=\"[^\"]" "$log" || fail "no caller"
sleep 0.3
key ctrl+e
type_text "Jo Smith"
wait_for 5 got 'ancillary_data [^>]*name="Jo Smith"' || fail "the name did not reach the unit"
key alt+h
wait_for 5 reported 'status="on hold"' || fail "HOLD did not reach the unit"
key alt+r
wait_for 5 reported 'status="on air"' || fail "AIR did not reach the unit"
key alt+r
wait_for 5 reported 'locked="true"' || fail "the lock did not reach the unit"

# 4. DROP on air: the first Alt+D only arms it.
if [ -n "$shot" ]; then
  key ctrl+slash
  sleep 0.5
  import -window "$console" "$shot"
  key Escape
fi
key alt+d
sleep 0.5
got 'command="drop"' && fail "the first Alt+D on air dropped the call"
echo "  (armed: nothing sent after 0.5 s)"
key alt+d
wait_for 5 got 'command="drop"' || fail "the second Alt+D did not drop the call"

# 5. A line in the studio chat.
key ctrl+t
type_text "Line $((line + 1)) done"
key Return
wait_for 5 got 'chat_data' || fail "the chat line did not reach the unit"

# What the unit received from the console meanwhile. Lines that start to ring
# or fall idle make every console send an empty caller record for them; those
# are the console's own and left out here.
echo
echo "The unit received (from the first key on line $((line + 1))):"
received | grep -v 'ancillary_data gender="unknown" line_id="[0-9]*" location="" mood="neutral" name="" notes="" topic=""' \
  | sed 's/^\[[0-9]*\] rx: /  /' | tee "$work/commands"
echo "($(received | grep -c 'name="" notes="" topic=""') empty caller records of other lines left out)"

# Exactly those commands, in that order: every keystroke of the name sends the
# whole record, so the name grows one letter at a time.
expected() {
  echo "change_line_state command=\"handset\" line_id=\"$line\""
  local name="" c
  for c in J o " " S m i t h; do
    name="$name$c"
    echo "ancillary_data name=\"$name\" line_id=\"$line\""
  done
  echo "change_line_state command=\"hold\" line_id=\"$line\""
  echo "change_line_state command=\"air\" line_id=\"$line\""
  echo "change_line_flags flag=\"locked\" line_id=\"$line\" state=\"true\""
  echo "change_line_state command=\"drop\" line_id=\"$line\""
  echo "chat_data from=\"console\" text=\"Line $((line + 1)) done\""
}
# The received frames in the same short form: name, then the fields above.
shorten() {
  sed -E 's/^ *<([a-z_]+) (.*)\/>$/\1 \2/' "$work/commands" | while read -r name rest; do
    case "$name" in
      ancillary_data) echo "$name $(grep -o 'name="[^"]*"' <<<"$rest") $(grep -o 'line_id="[^"]*"' <<<"$rest")" ;;
      *) echo "$name $rest" ;;
    esac
  done
}
if diff <(expected) <(shorten) >"$work/diff"; then
  echo "keyboard-demo: the unit received exactly the commands of the keys"
else
  cat "$work/diff" >&2
  fail "the unit received other commands than the keys stand for"
fi

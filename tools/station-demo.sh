#!/usr/bin/env bash
# Two desks, one station log: a private PostgreSQL server on a Unix socket
# only, one simulated unit with made-up calls, and two copies of the real
# program with homes of their own, both on that server, under a virtual X
# server. At desk A a ringing call is answered and named from the keyboard;
# desk B's call log window is pictured one second later. Then the log is
# exported from A's home, B's home and a third home that never recorded
# anything: the three files must hold the same rows.
# Usage: tools/station-demo.sh [BUILD_DIR] [SHOT]
#   BUILD_DIR is a build of this tree (default build/: app/mirt-desktop and
#   sim/mirt-unit-sim); SHOT is where desk B's log window is saved (default
#   /tmp/station-demo.png).
set -euo pipefail
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
cd "$(dirname "$self")/.."
. tools/xsession.sh

if [ "${1:-}" != "--inside" ]; then
  need=()
  for p in xvfb xauth xdotool imagemagick python3 postgresql; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
  done
  [ ${#need[@]} -eq 0 ] || { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"; }
  MIRT_BIN="$(realpath "${1:-build}")" MIRT_SHOT="$(realpath -m "${2:-/tmp/station-demo.png}")"
  export MIRT_BIN MIRT_SHOT
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$self" --inside
fi

bin="$MIRT_BIN"
work="$(mktemp -d)"
pg="$(mktemp -d)"
log="$work/sim.log"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -f "$pg/data/postmaster.pid" ] && as_pg pg_ctl -D "$pg/data" -m immediate -w stop >/dev/null 2>&1
  rm -rf "$work" "$pg"
}
trap cleanup EXIT
unset QT_QPA_PLATFORM
# On a failure, the whole screen too, to see what a desk showed.
eval "failed_$(declare -f fail)"
fail() {
  import -window root /tmp/station-demo-failed.png 2>/dev/null || true
  for f in "$work"/?.log; do grep -v ' rx: \| TX: ' "$f" | tail -n 5 | sed "s|^|$(basename "$f"): |" >&2; done
  failed_fail "$@"
}
export PATH="/usr/lib/postgresql/15/bin:$PATH"

# PostgreSQL will not run as root: the server's folder is handed to postgres.
as_pg() { if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
[ "$(id -u)" = 0 ] && chown postgres: "$pg"
as_pg initdb -D "$pg/data" -E UTF8 --locale=C.UTF-8 -A trust -U postgres -N >/dev/null
as_pg pg_ctl -D "$pg/data" -l "$pg/server.log" -w \
  -o "-c listen_addresses='' -c unix_socket_directories='$pg' -c fsync=off" start >/dev/null
psql -h "$pg" -U postgres -qAt -c "CREATE DATABASE mirt" postgres
db="postgresql://postgres@/mirt?host=$pg"
sql() { psql -h "$pg" -U postgres -qAt -c "$1" mirt; }

# A home of its own per desk: every program of a desk runs in a subshell that
# called home(), and those started in the background exec, so that $! is the
# program itself and the kill reaches it.
for d in a b c; do mkdir -p "$work/$d/.config" "$work/$d/.local/share" "$work/$d/.cache" "$work/$d/run"; done
chmod 700 "$work"/?/run
home() {
  local h="$work/$1"
  export HOME="$h" XDG_CONFIG_HOME="$h/.config" XDG_DATA_HOME="$h/.local/share" XDG_CACHE_HOME="$h/.cache" \
    XDG_RUNTIME_DIR="$h/run"
}
# Windows of one process only: both desks have windows of the same names.
win() { xdotool search --all --onlyvisible --pid "$1" --name "$2" 2>/dev/null | head -1; }
has_win() { [ -n "$(win "$1" "$2")" ]; }

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
(home a; exec "$bin/sim/mirt-unit-sim" --port "$port" --calls --verbose --add-to-directory >"$log" 2>&1) &
pids+=($!)
wait_for 10 grep -q "listening" "$log" || fail "the simulated unit did not start"
# B's directory: the same entry, the same "address:port" as A's.
cp -a "$work/a/.config/." "$work/b/.config/"

# Both desks started on the station server and connected from the directory.
logins=0
for d in a b; do
  (home "$d"; exec "$bin/app/mirt-desktop" --log-db "$db" >"$work/$d.log" 2>&1) &
  pids+=($!)
  p=$!
  if [ "$d" = a ]; then pid_a=$p; else pid_b=$p; fi
  wait_for 20 has_win "$p" "MIRT Desktop Control" || fail "desk $d: no main window"
  main=$(win "$p" "MIRT Desktop Control")
  sleep 0.5
  # The directory's one row, then Connect.
  xdotool mousemove --window "$main" 100 64 click 1
  sleep 0.3
  xdotool mousemove --window "$main" 418 44 click 1
  logins=$((logins + 1))
  wait_for 30 eval '[ "$(grep -c "TX: <login success=\"true\"" "$log")" -ge '$logins' ]' ||
    fail "desk $d did not log in"
  wait_for 15 has_win "$p" "MIRT Orvel$" || fail "desk $d: no console window"
done
echo "both desks logged in to 127.0.0.1:$port"

# Desk B: Ctrl+L in its console opens the log window.
xdotool windowfocus --sync "$(win "$pid_b" "MIRT Orvel$")"
xdotool key ctrl+l
wait_for 10 has_win "$pid_b" "^Call Log$" || fail "desk B: Ctrl+L opened no log window"
logwin=$(win "$pid_b" "^Call Log$")
xdotool windowsize "$logwin" 1200 580

# Desk A: the next call that rings is answered (F<n>, Alt+A) and named (Ctrl+E).
from=$(wc -l <"$log")
wait_for 40 eval 'tail -n +$from "$log" | grep -q "status=\"ringing\""' || fail "no call rang"
line=$(tail -n +"$from" "$log" | grep -m1 -o 'TX: <line_status [^>]*status="ringing"' | sed 's/.*line_id="\([0-9]*\)".*/\1/')
console=$(win "$pid_a" "MIRT Orvel$")
xdotool windowraise "$console" windowfocus --sync "$console"
sleep 0.5
xdotool key --delay 60 "F$((line + 1))" alt+a
wait_for 5 grep -q "TX: <line_status [^>]*line_id=\"$line\"[^>]*status=\"on handset\"" "$log" ||
  fail "ANSWER did not reach the unit"
wait_for 5 grep -q "TX: <ancillary_data [^>]*line_id=\"$line\"[^>]*name=\"[^\"]" "$log" || fail "no caller"
# B's log window on top, to be seen; the keyboard stays with A's console.
xdotool windowraise "$logwin"
sleep 0.3
name="Caller Zed$((RANDOM % 90 + 10))"
xdotool key ctrl+e
xdotool type --delay 60 "$name"
typed=$(date +%s.%N)
echo "desk A: line $((line + 1)) answered and named \"$name\""

# Desk B's log window, pictured one second after the last key.
sleep 1
shot_at=$(date +%s.%N)
import -window "$logwin" "$MIRT_SHOT"
echo "desk B: log window pictured at +$(awk "BEGIN { printf \"%.2f\", $shot_at - $typed }") s: $MIRT_SHOT"
grep -q "ancillary_data [^>]*name=\"$name\"" "$log" || fail "the name did not reach the unit"

# A while for more calls to ring and end, then both desks quit (SIGTERM, as at
# a logout) and the log is exported from each home and from a fresh one.
sleep "${MIRT_DEMO_MORE:-20}"
kill "$pid_a" "$pid_b"
wait "$pid_a" "$pid_b" || true
echo "both desks quit"
for d in a b c; do
  (home "$d"; QT_QPA_PLATFORM=offscreen "$bin/app/mirt-desktop" --log-db "$db" --export-log "$work/$d.csv") ||
    fail "desk $d: the export failed"
  echo "export from home $d: $(($(wc -l <"$work/$d.csv") - 1)) rows, $(grep -c "$name" "$work/$d.csv") with \"$name\""
done
echo "calls on the server: $(sql 'SELECT count(*) FROM calls'), leases: $(sql 'SELECT unit, owner, generation FROM leases' | tr '\n' ' ')"
same=yes
for d in b c; do
  if diff "$work/a.csv" "$work/$d.csv"; then echo "a.csv = $d.csv"; else same=no; fi
done
dups=$(tail -n +2 "$work/a.csv" | sort | uniq -d | wc -l)
echo "doubled rows: $dups"
head -1 "$work/a.csv"
tail -n +2 "$work/a.csv"
[ "$same" = yes ] && [ "$dups" = 0 ] || exit 1

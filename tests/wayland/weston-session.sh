#!/usr/bin/env bash
# Runs a command as a Wayland client of a private headless weston:
#
#   tests/wayland/weston-session.sh [--scale=N] COMMAND [ARGUMENT]...
#
# weston listens on a socket of its own in a private runtime folder (mode
# 0700), on one 1600 x 1200 output at scale N (1 by default), larger than a
# console at its full size. The command finds XDG_RUNTIME_DIR, WAYLAND_DISPLAY
# QT_QPA_PLATFORM=wayland and WESTON_SCALE=N set and DISPLAY unset, so that nothing reaches
# an X server. weston goes when the command ends. A missing or failing weston
# is a failure, never a skip: Debian's package weston has it.
set -euo pipefail

scale=1
case "${1:-}" in
  --scale=*)
    scale="${1#--scale=}"
    shift
    ;;
esac

work="$(mktemp -d)"
chmod 700 "$work"
weston_pid=""
cleanup() {
  [ -n "$weston_pid" ] && kill "$weston_pid" 2>/dev/null && wait "$weston_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
fail() {
  echo "weston-session: $1" >&2
  cat "$work/weston.log" >&2 2>/dev/null || true
  exit 1
}

command -v weston >/dev/null || fail "weston not found (Debian package weston)"
export XDG_RUNTIME_DIR="$work"
socket="mirt-test-$$"
weston --backend=headless-backend.so --socket="$socket" --no-config --idle-time=0 \
  --width=1600 --height=1200 --scale="$scale" --log="$work/weston.log" &
weston_pid=$!
for _ in $(seq 100); do
  [ -S "$work/$socket" ] && break
  kill -0 "$weston_pid" 2>/dev/null || fail "weston stopped"
  sleep 0.1
done
[ -S "$work/$socket" ] || fail "weston did not open its socket in ten seconds"

export WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland WESTON_SCALE="$scale"
unset DISPLAY
rc=0
"$@" || rc=$?
exit "$rc"

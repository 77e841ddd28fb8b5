# Sourced by the scripts that drive the real program under a private X server
# against the simulated unit (screenshots.sh, calllog-screen.sh,
# keyboard-demo.sh, a11y-dump). Each script runs twice: first outside, where
# mirt_x_run builds the program and starts the script again with --inside
# under xvfb-run (or, for "accessibility", under tools/a11y-session.sh, which
# adds a session bus and the accessibility bus); then inside, where
# mirt_x_inside gives it a private home, so the user's own settings and call
# log are never touched.
# The script sets $self (its own path) and, optionally, $build before.

# mirt_x_run "XVFB SERVER ARGS"|accessibility [more Debian packages]: never returns.
mirt_x_run() {
  local server="$1" work rc=0 runner
  shift
  if [ "$server" = accessibility ]; then
    runner=(tools/a11y-session.sh)
  else
    runner=(xvfb-run -a -s "$server")
  fi
  . tools/deps.sh
  mirt_install_deps xvfb xauth xdotool imagemagick python3 "$@"
  build="${build:-$PWD/build}"
  [ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2 --target mirt-desktop mirt-unit-sim >/dev/null
  mkdir -p docs
  work="$(mktemp -d)"
  MIRT_X_BUILD="$(cd "$build" && pwd)" MIRT_X_WORK="$work" \
    MIRT_X_PORT="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')" \
    "${runner[@]}" "$self" --inside || rc=$?
  rm -rf "$work"
  exit "$rc"
}

# Inside the X server: $build, $work, $port and $log (the unit's frames) set,
# a private home, and the processes in $pids killed on exit.
mirt_x_inside() {
  build="$MIRT_X_BUILD"
  work="$MIRT_X_WORK"
  port="$MIRT_X_PORT"
  export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
  export XDG_RUNTIME_DIR="$work/run"
  mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  unset QT_QPA_PLATFORM
  log="$work/sim.log"
  pids=()
  trap mirt_x_cleanup EXIT
}
mirt_x_cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }

fail() {
  echo "$(basename "$self" .sh): $*" >&2
  echo "last frames of the unit:" >&2
  tail -n 15 "$log" >&2
  exit 1
}
# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
  local limit=$(($1 * 10)) i=0
  shift
  until "$@"; do
    i=$((i + 1))
    [ "$i" -le "$limit" ] || return 1
    sleep 0.1
  done
}
window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
has_window() { [ -n "$(window "$1")" ]; }

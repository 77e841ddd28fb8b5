#!/usr/bin/env bash
# Installs what is missing, builds with Qt 6, starts a simulated unit on 127.0.0.1:8080 and the application.
set -euo pipefail
cd "$(dirname "$0")"
. tools/deps.sh
mirt_install_deps

# Same build folder and settings as ./test.sh, so switching between them rebuilds nothing.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug -DMIRT_WERROR=ON -DMIRT_QT=6 >/dev/null
cmake --build build -j2

sim_pid=""
if [ -x build/sim/mirt-unit-sim ]; then
  build/sim/mirt-unit-sim --port 8080 --calls --add-to-directory "$@" &
  sim_pid=$!
  trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true' EXIT
  sleep 0.5
fi
build/app/mirt-desktop

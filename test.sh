#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
. tools/deps.sh
mirt_install_deps

cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug -DMIRT_WERROR=ON >/dev/null
cmake --build build -j2
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2

#!/usr/bin/env bash
# Installs what is missing, builds with Qt 6 in build/, and runs every test.
# Exits non-zero on any failure.
# ./test.sh --qt5 does the same with Qt 5.15 in build-qt5/.
# ./test.sh --sanitize does the same on Qt 6 with AddressSanitizer and
# UndefinedBehaviorSanitizer (leaks included) in build-asan/.
set -euo pipefail
cd "$(dirname "$0")"
. tools/deps.sh
mirt_install_deps

build=build
options=(-DMIRT_QT=6)
if [ "${1:-}" = "--qt5" ]; then
  build=build-qt5
  options=(-DMIRT_QT=5)
elif [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  options+=(-DMIRT_SANITIZE=ON)
  # Any report fails the test that caused it; leaks are reported at exit.
  # tools/lsan.supp lists the few leaks that belong to system libraries.
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:fast_unwind_on_malloc=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp:print_suppressions=0"
  # Tests with a time limit (tests/bounds) scale it by this factor. Under the
  # sanitizers the decoding path is 3 to 67 times slower (allocations most,
  # each recording its stack with the slow unwinder). On Qt 5 the slowest
  # frame shape took 281 ms; on Qt 6, whose reader allocates more, 1,362 ms
  # on a loaded machine, 13.6 times the plain limit of 100 ms. 25 leaves
  # almost twice that (docs/RELIABILITY.md).
  export MIRT_TIME_FACTOR=25
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DMIRT_WERROR=ON "${options[@]}" >/dev/null
cmake --build "$build" -j2
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2

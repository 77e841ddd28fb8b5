#!/usr/bin/env bash
# Performance benchmarks: builds them in Release in build-bench/, runs each
# part and prints every figure as a "name: value" line. The benchmark
# library's tables and the program's own messages go to build-bench/bench.log.
#
# ./bench.sh [--qt5] [--check] [Google Benchmark options, e.g. --benchmark_filter=decode]
#
# Built with Qt 6; --qt5 builds and measures with Qt 5.15 in build-bench-qt5/.
#
# The console scenarios run on the offscreen platform and, when Xvfb can run,
# once more on a private Xvfb through the xcb platform (figures named _xcb),
# followed by the cold start of the program (cold_start_ms) and of a bare Qt
# program beside it (cold_start_over_bare_qt_ms). The part `latency` takes
# a minute on each platform (30 s at 50 and at 1,000 changes a second;
# MIRT_BENCH_LATENCY_SECONDS sets another length for a quick try).
#
# The load average is printed at the start and at the end: wall-clock
# figures hold only on a quiet machine, one whose load average is below 1.
#
# --check: afterwards, every line of bench/targets.txt (figure, comparison,
# limit) is shown with the measured value and a verdict, and the script exits
# non-zero naming each figure that misses its target, is missing, zero,
# negative or not a number. New figures need only a new line there (and, for
# a new part of mirt_bench, its name in the list of modes below).
# MIRT_BENCH_TARGETS names another targets file (to try a tighter one).
# --recheck: no run, only the check, of the figures of the last run.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
build=$root/build-bench
qt=6
if [ "${1:-}" = "--qt5" ]; then
  build=$root/build-bench-qt5
  qt=5
  shift
fi

check=0
recheck=0
if [ "${1:-}" = "--check" ]; then
  check=1
  shift
elif [ "${1:-}" = "--recheck" ]; then
  recheck=1
  shift
fi

# --check: one line per target, in the order of the targets file.
check_figures() {
echo
awk -v figures="$figures" '
  BEGIN {
    while ((getline line < figures) > 0) {
      if (match(line, /^[A-Za-z0-9_]+: /)) {
        name = substr(line, 1, RLENGTH - 2)
        value[name] = substr(line, RLENGTH + 1)
      }
    }
    printf "%-30s %14s %14s  %s\n", "figure", "value", "target", "verdict"
  }
  /^[ \t]*(#|$)/ { next }
  {
    name = $1; op = $2; limit = $3
    target = (op == "report") ? "(none)" : op " " limit
    found = (name in value)
    v = found ? value[name] : ""
    if (!found) verdict = "MISSING"
    else if (v !~ /^[-+]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][-+]?[0-9]+)?$/) verdict = "NOT A NUMBER"
    else if (v + 0 <= 0) verdict = (v + 0 == 0) ? "ZERO" : "NEGATIVE"
    else if (op == "report") verdict = "ok"
    else if (op == "<") verdict = (v + 0 < limit + 0) ? "ok" : "MISSED"
    else if (op == "<=") verdict = (v + 0 <= limit + 0) ? "ok" : "MISSED"
    else if (op == ">") verdict = (v + 0 > limit + 0) ? "ok" : "MISSED"
    else if (op == ">=") verdict = (v + 0 >= limit + 0) ? "ok" : "MISSED"
    else verdict = "BAD TARGET " op
    printf "%-30s %14s %14s  %s\n", name, found ? v : "-", target, verdict
    if (verdict != "ok") failed = failed " " name
  }
  END {
    if (failed != "") {
      print "bench: check failed:" failed
      exit 1
    }
    print "bench: every figure meets its target"
  }
' "${MIRT_BENCH_TARGETS:-$root/bench/targets.txt}"
}

if [ "$recheck" = 1 ]; then
  figures=$build/figures.txt
  [ -s "$figures" ] || { echo "bench: no figures of an earlier run in $figures"; exit 1; }
  check_figures
  exit
fi

. "$root/tools/deps.sh"
# Benchmark-only packages: Google Benchmark, pugixml (the anchor reader),
# the X client library of the cold start, and Xvfb for the real display.
mirt_install_deps libbenchmark-dev libpugixml-dev libxcb1-dev xvfb

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMIRT_QT=$qt -DMIRT_BENCH=ON -DMIRT_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target mirt_bench mirt_historybench mirt_coldstart mirt_bareqt mirt-desktop >/dev/null

export QT_QPA_PLATFORM=offscreen
# A private settings folder and runtime folder: never the user's.
export XDG_CONFIG_HOME=$build/bench-home/config
mkdir -p "$XDG_CONFIG_HOME"
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$XDG_RUNTIME_DIR"
}
trap cleanup EXIT

bin=$build/bench/mirt_bench
log=$build/bench.log
figures=$build/figures.txt
: >"$log"
: >"$figures"

# Figures go to the terminal and to $figures, which --check reads.
show() { tee -a "$figures"; }

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores"
load() {
  local l
  l=$(cut -d' ' -f1 /proc/loadavg)
  echo "$1: $l ($(awk -v l="$l" 'BEGIN { print (l < 1) ? "quiet" : "busy: wall-clock figures may miss" }'))"
}
load load_average

# The parts of mirt_bench that run a whole console; each in a process of its own.
console_modes=(open idle idle10 memory burst chatburst latency)

status=0
# Decode, receive path and framing: repeated and interleaved, medians of CPU time.
"$bin" micro --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
  --benchmark_min_time=0.1 "$@" 2>>"$log" | show || status=1
for mode in "${console_modes[@]}"; do
  echo "== $mode" >>"$log"
  "$bin" "$mode" 2>>"$log" | show || { echo "$mode: failed (see $log)"; status=1; }
done
# The call log has no window of its own to draw: once, on the default platform.
echo "== calllog" >>"$log"
"$bin" calllog 2>>"$log" | show || { echo "calllog: failed (see $log)"; status=1; }
echo "== stationlog" >>"$log"
"$bin" stationlog 2>>"$log" | show || { echo "stationlog: failed (see $log)"; status=1; }
# The caller history: its lookup, and typing with completion on.
echo "== history" >>"$log"
"$build/bench/mirt_historybench" 2>>"$log" | show || { echo "history: failed (see $log)"; status=1; }

# A private X server on the first free display of :71 to :75. It tells on
# descriptor 3 when it is ready to take clients.
start_xvfb() {
  local n ready fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  for n in 71 72 73 74 75; do
    Xvfb ":$n" -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$fifo" >>"$log" 2>&1 &
    xvfb_pid=$!
    ready=
    read -r -t 20 ready <"$fifo" || true
    if [ "$ready" = "$n" ]; then
      rm -f "$fifo"
      export DISPLAY=":$n"
      return 0
    fi
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
  done
  rm -f "$fifo"
  return 1
}

if ! command -v Xvfb >/dev/null; then
  echo "xcb figures skipped: Xvfb is not installed and could not be installed"
elif ! start_xvfb; then
  echo "xcb figures skipped: Xvfb did not start on any of :71 to :75 (see $log)"
else
  for mode in "${console_modes[@]}"; do
    echo "== $mode on xcb ($DISPLAY)" >>"$log"
    QT_QPA_PLATFORM=xcb "$bin" "$mode" 2>>"$log" | show || { echo "$mode on xcb: failed (see $log)"; status=1; }
  done
  echo "== cold start ($DISPLAY)" >>"$log"
  "$build/bench/mirt_coldstart" "$build/app/mirt-desktop" 9 "$build/bench/mirt_bareqt" 2>>"$log" | show \
    || { echo "cold start: failed (see $log)"; status=1; }
fi

load load_average_end
[ "$check" = 1 ] || exit $status

check_figures || status=1
exit $status

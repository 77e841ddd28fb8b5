#!/usr/bin/env bash
# Performance benchmarks: builds them in Release in build-bench/, runs each
# part and prints every figure as a "name: value" line. The benchmark
# library's tables and the program's own messages go to build-bench/bench.log.
# Extra arguments go to the Google Benchmark part (e.g. --benchmark_filter=decode).
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
build=$root/build-bench

missing=()
for pkg in libbenchmark-dev cmake g++ qtbase5-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
if ((${#missing[@]})); then
  sudo=
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update
  $sudo apt-get install -y "${missing[@]}"
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMIRT_BENCH=ON -DMIRT_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target mirt_bench >/dev/null

export QT_QPA_PLATFORM=offscreen
# A private settings folder and runtime folder: never the user's.
export XDG_CONFIG_HOME=$build/bench-home/config
mkdir -p "$XDG_CONFIG_HOME"
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT

bin=$build/bench/mirt_bench
log=$build/bench.log
: >"$log"

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores"
echo "load_average: $(cut -d' ' -f1 /proc/loadavg)"

status=0
# Decode, receive path and framing: repeated and interleaved, medians of CPU time.
"$bin" micro --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
  --benchmark_min_time=0.1 "$@" 2>>"$log" || status=1
# The console scenarios, each in a process of its own.
for mode in open idle idle10 memory burst; do
  echo "== $mode" >>"$log"
  "$bin" "$mode" 2>>"$log" || { echo "$mode: failed (see $log)"; status=1; }
done
exit $status

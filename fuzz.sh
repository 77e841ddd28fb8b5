#!/usr/bin/env bash
# Builds the fuzz targets with clang as libFuzzer executables under
# AddressSanitizer and UndefinedBehaviorSanitizer, then runs each one for the
# given number of seconds (default 60) starting from its seed corpus.
# Usage: ./fuzz.sh [seconds per target] [target...]
# Inputs found along the way collect in fuzz-build/corpus/<target>; a crash,
# leak, timeout or out-of-memory input is saved in fuzz-build/findings/ and
# makes the script exit non-zero. The committed corpora are never modified.
set -euo pipefail
cd "$(dirname "$0")"
secs=${1:-60}
shift || true

. tools/deps.sh
# libFuzzer and the sanitizer runtimes of clang 14 live in libclang-rt-14-dev.
mirt_install_deps clang libclang-rt-14-dev

build=fuzz-build
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
  -DMIRT_SANITIZE=ON -DMIRT_FUZZ=ON -DMIRT_TESTS=OFF >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for d in fuzz/corpus/*/; do
    targets+=("$(basename "$d")")
  done
fi
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

export QT_QPA_PLATFORM=offscreen
export XDG_CONFIG_HOME="$PWD/$build/home"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp:print_suppressions=0"
mkdir -p "$build/findings" "$XDG_CONFIG_HOME"

status=0
summary=()
for t in "${targets[@]}"; do
  work="$build/corpus/$t"
  mkdir -p "$work"
  log="$build/fuzz_$t.log"
  extra=()
  # A whole console fills Qt's caches on first use, so most inputs end with
  # more allocations than frees and libFuzzer would run a full leak check
  # after each of them (a quarter of the speed). Leaks are still checked
  # when the process exits, and by the sanitizer run of the corpus replay.
  [ "$t" = console ] && extra=(-detect_leaks=0)
  echo "== fuzz_$t: $secs s"
  # -timeout: one input taking over 2 s (sanitizers included) is a finding;
  # -rss_limit_mb: so is a process above 2 GiB.
  if "$build/fuzz/fuzz_$t" "$work" "fuzz/corpus/$t" \
      -dict=fuzz/protocol.dict -max_total_time="$secs" -max_len=8192 \
      -timeout=2 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/findings/$t-" "${extra[@]}" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
    grep -E "ERROR|SUMMARY|property broken|Test unit written" "$log" | head -20 || true
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | cut -d' ' -f2)
  summary+=("$(printf '%-14s %-6s %10s runs  coverage %6s  corpus %5s files' \
    "$t" "$result" "${runs:-?}" "${cov:-?}" "$(ls "$work" | wc -l)")")
done

echo
echo "Fuzzing summary ($secs s per target):"
printf '  %s\n' "${summary[@]}"
exit $status

#!/usr/bin/env bash
# Prints the share of test code: lines of tracked C++ sources under tests/ and
# fuzz/ against all tracked C++ sources except bench/, counting lines that are
# neither blank nor // comments. With --max P, exits 1 when the share is above P.
set -euo pipefail
cd "$(dirname "$0")/.."

count() { xargs -r cat | grep -cvE '^\s*(//.*)?$' || true; }
sources=$(git ls-files | grep -E '\.(cpp|h|hpp|cc)$' || true)
t=$(grep -E '^(tests|fuzz)/' <<<"$sources" | count)
p=$(grep -vE '^(tests|fuzz|bench)/' <<<"$sources" | count)
share=$(awk -v t="$t" -v p="$p" 'BEGIN { printf "%.1f", (t + p) ? 100 * t / (t + p) : 0 }')
echo "test share: ${share}% (${t} test lines, ${p} other code lines)"

if [ "${1:-}" = "--max" ]; then
  if awk -v s="$share" -v m="$2" 'BEGIN { exit !(s > m) }'; then
    echo "test share: above ${2}%" >&2
    exit 1
  fi
fi

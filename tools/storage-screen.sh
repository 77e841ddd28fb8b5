#!/usr/bin/env bash
# Takes docs/storage-dialog.png: the call log's storage dialog filled in for
# a private PostgreSQL server with TLS, after "Test Connection" answered.
# Needs xvfb-run and ImageMagick's import.
# Usage: tools/storage-screen.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build" -j2 --target storage-screen >/dev/null
out=docs/storage-dialog.png
xvfb-run -a -s "-screen 0 900x700x24" bash -c '
  out=$(mktemp)
  "$1" >"$out" 2>/dev/null &
  pid=$!
  for _ in $(seq 100); do grep -q "^SIZE" "$out" && break; sleep 0.2; done
  sleep 0.5
  size=$(sed -n "s/^SIZE //p" "$out")
  import -window root -crop "${size}+0+0" +repage "$2"
  kill "$pid"
  rm -f "$out"
' _ "$build/tools/storage-screen/storage-screen" "$out"
echo "$out"

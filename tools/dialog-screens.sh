#!/usr/bin/env bash
# Photographs the three configuration dialogs on sample settings files under a
# virtual X server: docs/dialog-ipconfig.png, docs/dialog-lineconfig.png and
# docs/dialog-about.png. Needs xvfb-run and ImageMagick's import.
# Usage: tools/dialog-screens.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build" -j2 --target dialog-screens >/dev/null
prog="$build/tools/dialog-screens/dialog-screens"

samples="$(mktemp -d)"
trap 'rm -rf "$samples"' EXIT
cat > "$samples/rc.network" <<'CFG'
NET_ADDRESS=192.168.1.50
NET_DNS_PRIMARY=192.168.1.1
NET_GATEWAY=192.168.1.1
NET_NETMASK=255.255.255.0
CFG
cat > "$samples/rc.app" <<'CFG'
CONFIG_CLUSTERING=1
CONFIG_CLUSTER_ID=7
CONFIG_GUI_PASSWORD=studio
CONFIG_LINE1=0
CONFIG_LINE2=1
CONFIG_LINE3=4
CONFIG_LINE4=2
CONFIG_LINE5=3
CONFIG_RING_SAFE=1
CFG

mkdir -p docs
for which in ipconfig lineconfig about; do
  out="docs/dialog-$which.png"
  xvfb-run -a -s "-screen 0 800x640x24" bash -c '
    "$1" "$2" "$3" > "$3/size" 2>/dev/null &
    pid=$!
    sleep 2
    size=$(sed -n "s/^SIZE //p" "$3/size")
    import -window root -crop "${size}+0+0" +repage "$4"
    kill "$pid"
  ' _ "$prog" "$which" "$samples" "$out"
  echo "$out"
done

#!/usr/bin/env bash
# Checks that each folder of the program includes headers only from the
# folders below it, so the folder tree stays the build graph. Prints every
# forbidden #include "folder/..." as file:line and exits 1 if there is one.
# Usage: tools/check-layers.sh [source root]   (default: this checkout)
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}

# Which folders each layer may include besides itself.
declare -A allowed=(
  [support]=""
  [message]="support"
  [store]="support"
  [ipc]="message support"
  [calllog]="ipc message support"
  [console]="ipc message support resources"
  [dialogs]="store support"
  [app]="calllog console dialogs store ipc message support resources"
  [sim]="ipc message store support"
  [resources]=""
)

status=0
checked=0
for layer in "${!allowed[@]}"; do
  [ -d "$root/$layer" ] || continue
  while IFS= read -r hit; do
    # hit: path:line:text
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    text=${rest#*:}
    target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([A-Za-z0-9_]+)\/.*/\1/' <<<"$text")
    [ "$target" = "$layer" ] && continue
    ok=0
    for a in ${allowed[$layer]}; do
      [ "$a" = "$target" ] && ok=1
    done
    if [ $ok -eq 0 ]; then
      echo "${file#"$root"/}:$line: $layer/ may not include $target/ (${text//[[:space:]]/ })"
      status=1
    fi
  done < <(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[A-Za-z0-9_]+/' "$root/$layer")
  checked=$((checked + 1))
done

if [ $checked -eq 0 ]; then
  echo "no layer folders under $root"
  exit 2
fi
[ $status -eq 0 ] && echo "layers: $checked folders, no forbidden include"
exit $status

#!/usr/bin/env bash
# Checks that each folder of the program includes headers only from the
# folders below it, so the folder tree stays the build graph, and that only
# unit/ reads or writes the unit's messages by parameter name: above it, no
# Params accessor is called and none of the wire's distinctive parameter
# names is spelled. Prints every finding as file:line and exits 1 if there
# is one.
# Usage: tools/check-layers.sh [source root]   (default: this checkout)
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}

# Which folders each layer may include besides itself.
declare -A allowed=(
  [support]=""
  [message]="support"
  [store]="support"
  [unit]="message support"
  [ipc]="unit message support"
  [calllog]="ipc unit message support"
  [console]="ipc unit message support resources"
  [attention]="console ipc unit support"
  [dialogs]="store support"
  [app]="attention calllog console dialogs store ipc unit message support resources"
  [sim]="ipc unit message store support"
  [resources]=""
)

# The folders above unit/ that must see typed values only.
typed="ipc calllog console attention app sim"
# A Params accessor, or a parameter name no everyday word shares.
by_hand='(\.|->)params\(\)|\bParams\b|(\.|->)(get|set)_(bool|int|uint|float|fixed|string|qstring|variant|type)\(|has_param\(|"(line_id|ring_num|num_lines|genderidx|moodidx|busied_out|aa_enabled)"'

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

for layer in $typed; do
  [ -d "$root/$layer" ] || continue
  while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    echo "${file#"$root"/}:${rest%%:*}: $layer/ reads the unit's messages by hand (${rest#*:})"
    status=1
  done < <(grep -rnE --include='*.h' --include='*.cpp' "$by_hand" "$root/$layer")
done

if [ $checked -eq 0 ]; then
  echo "no layer folders under $root"
  exit 2
fi
[ $status -eq 0 ] && echo "layers: $checked folders, no forbidden include, messages read in unit/ only"
exit $status

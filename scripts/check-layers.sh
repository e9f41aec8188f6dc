#!/usr/bin/env bash
# Fails when a file under src/ includes from a folder above its own layer, or a tool includes
# from the updater's layers above patchdata. Layers, lowest first (src/ui/win32 counts as ui).
set -euo pipefail
cd "$(dirname "$0")/.."
layers=(platform patchdata state messages feedback engine ui app)
rank() {
  local i
  for i in "${!layers[@]}"; do [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }; done
  echo -1
}
bad=0
while IFS= read -r file; do
  own=$(echo "$file" | cut -d/ -f2)
  case "$file" in tools/*) own=patchdata ;; esac
  own_rank=$(rank "$own")
  while IFS= read -r included; do
    folder=${included%%/*}
    r=$(rank "$folder")
    if [ "$r" -gt "$own_rank" ]; then
      echo "check-layers: $file includes $included, a layer above its own" >&2
      bad=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find src tools/patchbuild tools/writer -name '*.cpp' -o -name '*.h' -o -name '*.rc.in' | sort)
[ "$bad" -eq 0 ] && echo "check-layers: every include points down the layers"
exit "$bad"

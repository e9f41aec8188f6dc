#!/usr/bin/env bash
# Configures and builds the given presets (default: all four).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native sanitize win32 win64)
for preset in "${presets[@]}"; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
done

#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds every preset, runs the unit tests
# natively, under the sanitizers and (64-bit) under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build test
scripts/build.sh native sanitize win32 win64

echo "== unit tests (native)"
ctest --preset native -j"$(nproc)"
echo "== unit tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
ctest --preset sanitize -j"$(nproc)"

echo "== unit tests (64-bit Windows build under Wine)"
source scripts/wine-env.sh
start_wine
ctest --preset win64

echo "== fuzz targets: kept crash inputs, then a short run of each (clang-14, ASan, UBSan)"
scripts/build.sh fuzz
ctest --preset fuzz

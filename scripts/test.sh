#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds every preset, runs the unit tests
# natively, under the sanitizers and (64-bit) under Wine, then the end-to-end tests, which run
# the real executable under Wine on a virtual screen.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build test
scripts/build.sh native sanitize win32 win64

echo "== unit tests (native)"
ctest --preset native -j"$(nproc)"
echo "== unit tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
ctest --preset sanitize -j"$(nproc)"

echo "== the shipped executable"
scripts/check-imports.sh build/win32/PatchUtility.exe
scripts/check-baseline-isa.sh

# One virtual screen and one wineserver serve both Wine steps.
source scripts/wine-env.sh
start_xvfb
start_wine
echo "== unit tests (64-bit Windows build under Wine)"
ctest --preset win64
echo "== end-to-end tests (PatchUtility.exe under Wine)"
tests/e2e/run.sh
echo "== a vendor's path end to end: patchbuild, the embedded updater under Wine"
tests/e2e/patchbuild_e2e.sh

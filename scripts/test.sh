#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds every preset, runs the unit tests
# natively, under the sanitizers and (64-bit) under Wine, the fuzz targets briefly, then the
# end-to-end tests, which run the real executable under Wine on a virtual screen, and last the
# release bundle with the vendor's guide.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build test
scripts/check-layers.sh
scripts/build.sh native sanitize win32 win64 fuzz

# One virtual screen and one wineserver serve every step that runs Windows programs, the
# native tests' PE-resource check among them, so Wine is made ready before any test runs.
source scripts/wine-env.sh
start_xvfb
wine_ready=yes
start_wine || wine_ready=no

echo "== unit tests (native)"
ctest --preset native -j"$(nproc)"
echo "== unit tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
ctest --preset sanitize -j"$(nproc)"

echo "== the shipped executable"
scripts/check-imports.sh build/win32/PatchUtility.exe
scripts/check-pe-settings.sh build/win32/PatchUtility.exe
scripts/check-baseline-isa.sh
echo "== the patch builders: nothing to install beside them"
scripts/check-tool-deps.sh

echo "== fuzz targets: kept crash inputs, then a short run of each (clang-14, ASan, UBSan)"
ctest --preset fuzz

if [ "$wine_ready" = no ]; then
  # Said loudly and last, so that nobody reads this run as a pass of the Windows steps.
  echo "== SKIPPED: the Windows steps (unit tests under Wine, end-to-end tests): Wine cannot run"
  echo "   programs on this machine; its own words are above, under 'wine:'."
  exit 0
fi
echo "== unit tests (64-bit Windows build under Wine)"
ctest --preset win64
echo "== end-to-end tests (PatchUtility.exe under Wine)"
tests/e2e/run.sh
echo "== a vendor's path end to end: patchbuild, branding, signing, the signed updater under Wine"
tests/e2e/patchbuild_e2e.sh
echo "== the Windows patch builder under Wine: every command, the same bytes as the Linux one"
tests/tools/windows_builder.sh
echo "== the release: make dist, the zip, the vendor's guide followed in the unpacked bundle"
tests/e2e/release_bundle_e2e.sh

#!/usr/bin/env bash
# Runs the end-to-end tests: the 64-bit test driver under Wine, on one Xvfb screen with one
# wineserver, starting and driving the real PatchUtility.exe. Screenshots of what users see go
# to build/e2e-screenshots/. Arguments are passed to the driver (e.g. --gtest_filter=Startup.*).
# Expects the win32 and win64 builds (scripts/build.sh win32 win64).
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/wine-env.sh
start_xvfb
start_wine

# The driver, and every program it starts, runs in one Wine virtual desktop at the screen's
# origin: Wine draws the window frames there as Windows does, so screenshots look like Windows.
# It is wide enough for the dialog at 144 DPI.
wine reg add 'HKCU\Software\Wine\AppDefaults\e2e_tests.exe\Explorer' /v Desktop /d e2e /f >/dev/null
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v e2e /d 1280x700 /f >/dev/null
# The high-DPI test sets the screen's resolution for its own runs; one that was stopped
# half-way must not leave it to the others.
wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 || true

export PATCHUTILITY_E2E_EXE="$PWD/build/win64/PatchUtility.exe"
export PATCHUTILITY_E2E_SHIPPED_EXE="$PWD/build/win32/PatchUtility.exe"
export PATCHUTILITY_E2E_WORK="$PWD/build/e2e-work"
export PATCHUTILITY_E2E_SCREENSHOTS="$PWD/build/e2e-screenshots"
rm -rf "$PATCHUTILITY_E2E_WORK" "$PATCHUTILITY_E2E_SCREENSHOTS"
mkdir -p "$PATCHUTILITY_E2E_WORK" "$PATCHUTILITY_E2E_SCREENSHOTS"
# Drive E: is the scratch area, so install folders read like "E:\3\Sample".
ln -sfn "$PATCHUTILITY_E2E_WORK" "$WINEPREFIX/dosdevices/e:"

started=$SECONDS
status=0
wine build/win64/tests/e2e/e2e_tests.exe "$@" || status=$?
echo "e2e: $((SECONDS - started)) s under Wine; screenshots in $PATCHUTILITY_E2E_SCREENSHOTS:"
ls "$PATCHUTILITY_E2E_SCREENSHOTS" | sed 's/^/  /'
exit $status

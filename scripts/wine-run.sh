#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest: the emulator of the 64-bit Windows preset. It
# uses the project's prefix, which the `wine` fixture makes, and exits 77, which CTest counts
# as skipped, when Wine is not installed or the test command found that it runs no programs.
if ! command -v wine >/dev/null 2>&1; then
  echo "SKIPPED: wine is not installed"
  exit 77
fi
if [ "${PATCHUTILITY_WINE:-}" = unavailable ]; then
  echo "SKIPPED: Wine runs no programs on this machine"
  exit 77
fi
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"

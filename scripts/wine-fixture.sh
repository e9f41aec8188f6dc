#!/usr/bin/env bash
# The CTest fixture `wine`, for the tests that run Windows programs:
#   wine-fixture.sh start   makes the project's prefix (build/wineprefix) and starts its wineserver
#   wine-fixture.sh stop    stops that wineserver again, if `start` started it
# A wineserver that runs already (the test command starts one for all its steps) is used and
# left running. `start` exits 77, which CTest counts as skipped, when Wine is not installed or
# the test command found that it runs no programs; the tests then skip as well.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
source "$root/scripts/wine-env.sh"
started="$WINEPREFIX.started-by-ctest"

case "${1:-}" in
  start)
    if ! command -v wine >/dev/null 2>&1; then
      echo "SKIPPED: wine is not installed; the tests that run Windows programs skip too"
      exit 77
    fi
    if [ "${PATCHUTILITY_WINE:-}" = unavailable ]; then
      echo "SKIPPED: Wine runs no programs on this machine (see the test command's 'wine:' lines)"
      exit 77
    fi
    mkdir -p "$WINEPREFIX"
    if [ -z "${PATCHUTILITY_WINESERVER_UP:-}" ]; then
      # First the server, kept alive for every test, then the prefix made through it.
      if start_wineserver; then touch "$started"; fi
    fi
    make_wine_prefix
    if ! wine_answers; then
      wine_diagnostics
      exit 1
    fi
    echo "wine: the prefix $WINEPREFIX is ready"
    ;;
  stop)
    if [ -f "$started" ]; then
      rm -f "$started"
      wineserver -k >/dev/null 2>&1 || true
      wineserver -w >/dev/null 2>&1 || true
      echo "wine: stopped the wineserver of $WINEPREFIX"
    fi
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac

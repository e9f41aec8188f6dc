# Sourced by the scripts that run Windows programs: one private Wine prefix for the project,
# quiet, and one wineserver kept alive for the whole run so each program starts fast.
export WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"  # no Mono/Gecko prompts

start_wine() {
  mkdir -p "$WINEPREFIX"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating the prefix $WINEPREFIX"
    wineboot --init >/dev/null 2>&1 || true
  fi
  wineserver -p >/dev/null 2>&1 || true
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
}

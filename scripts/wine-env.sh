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
  # Start the prefix's background services now, detached from our output: the first Windows
  # program would otherwise start them holding its caller's pipes, and ctest would wait on
  # those pipes for as long as the wineserver lives.
  wineboot >/dev/null 2>&1 </dev/null || true
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
}

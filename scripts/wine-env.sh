# Sourced by the scripts that run Windows programs: one private Wine prefix for the project,
# quiet, one wineserver kept alive for the whole run so each program starts fast, and, for
# programs with windows, one Xvfb screen. Whatever a script starts here it stops at its exit;
# a script run by another that already started them reuses them.
export WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"  # no Mono/Gecko prompts

_wine_env_stops=()
_wine_env_stop_all() {
  local command
  for command in "${_wine_env_stops[@]}"; do eval "$command" >/dev/null 2>&1 || true; done
}
trap _wine_env_stop_all EXIT

start_wine() {
  make_wine_prefix
  if [ -z "${PATCHUTILITY_WINESERVER_UP:-}" ]; then
    start_wineserver || true
    _wine_env_stops=("wineserver -k" "${_wine_env_stops[@]}")
  fi
  if [ -z "${PATCHUTILITY_WINE:-}" ]; then
    wine_answers || { echo "wine: no answer; starting the prefix once more"; restart_wine; wine_answers; } ||
      { wine_diagnostics; export PATCHUTILITY_WINE=unavailable; return 1; }
    export PATCHUTILITY_WINE=ready
  fi
  [ "$PATCHUTILITY_WINE" = ready ]
}

# Makes the prefix once. A running wineserver writes system.reg only when it saves the registry,
# so a prefix it has just made shows by wineboot's time stamp.
make_wine_prefix() {
  mkdir -p "$WINEPREFIX"
  if [ ! -f "$WINEPREFIX/system.reg" ] && [ ! -f "$WINEPREFIX/.update-timestamp" ]; then
    echo "wine: creating the prefix $WINEPREFIX"
    wineboot --init >/dev/null 2>&1 </dev/null || true
  fi
}

# Starts the prefix's wineserver, kept alive until `wineserver -k`, and its background services,
# all detached from our output: the first Windows program would otherwise start them holding
# its caller's pipes, and ctest would wait on those pipes for as long as the wineserver lives.
# Returns 1 when a wineserver was running already (it is used as it is).
start_wineserver() {
  local started=0
  wineserver -p >/dev/null 2>&1 </dev/null || started=1
  wineboot >/dev/null 2>&1 </dev/null || true
  export PATCHUTILITY_WINESERVER_UP=1
  return $started
}

# Whether Wine runs a Windows program and passes its output back.
wine_answers() {
  local out
  out=$(timeout 120 wine cmd /c echo wine-answers 2>"$WINEPREFIX.probe.err" </dev/null) || true
  [[ "$out" == *wine-answers* ]]
}

restart_wine() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  wineboot --init >/dev/null 2>&1 </dev/null || true
  wineserver -p >/dev/null 2>&1 || true
}

wine_diagnostics() {
  {
    echo "wine: this machine's Wine does not run Windows programs; what it said:"
    tail -n 30 "$WINEPREFIX.probe.err" 2>/dev/null | sed 's/^/  /'
    echo "  wine --version: $(wine --version 2>&1 | head -1)"
    echo "  prefix: $(ls "$WINEPREFIX" 2>&1 | tr '\n' ' ')"
    echo "  user: $(id) ; HOME=${HOME:-unset} ; TMPDIR=${TMPDIR:-unset}"
    echo "  ulimit -v: $(ulimit -v) ; /tmp: $(df -h /tmp 2>&1 | tail -1)"
  } >&2
}

# A virtual screen for windows: DISPLAY points at it until the script ends. The server picks a
# free display number itself (-displayfd), so parallel runs on one machine do not collide.
start_xvfb() {
  if [ -n "${PATCHUTILITY_XVFB:-}" ] && [ "${DISPLAY:-}" = "$PATCHUTILITY_XVFB" ]; then return 0; fi
  local fifo number
  fifo=$(mktemp -u) && mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  local pid=$!
  read -r -t 30 number <"$fifo" || { rm -f "$fifo"; echo "xvfb: the server did not start" >&2; return 1; }
  rm -f "$fifo"
  export DISPLAY=":$number" PATCHUTILITY_XVFB=":$number"
  _wine_env_stops+=("kill $pid")
}

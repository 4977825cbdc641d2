# Starts what a Wine session of the project needs and ends it on exit:
# an X display (Xvfb unless one is given), virtual port pairs, and a
# persistent wineserver per prefix for the whole run. Sourced by scripts/test and
# scripts/run after env.sh.

VORLIN_SESSION_PIDS=()

vorlin_session_end() {
  "$VORLIN_REPO/scripts/vports" stop >/dev/null 2>&1 || true
  wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX=$VORLIN_PREFIX_EN wineserver -k >/dev/null 2>&1 || true
  for p in "${VORLIN_SESSION_PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
}

vorlin_session_start() {
  local want_xvfb=$1; shift
  trap vorlin_session_end EXIT
  trap 'exit 130' INT TERM
  if [ "$want_xvfb" = 1 ] || [ -z "${DISPLAY:-}" ]; then
    local n
    for n in $(seq 91 140); do
      [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
    done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$VORLIN_BUILD/xvfb.log" 2>&1 &
    VORLIN_SESSION_PIDS+=($!)
    export DISPLAY=":$n"
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
  fi
  # Ports are mapped before the wineserver starts, because Wine reads the
  # mapping when the prefix comes up.
  wineserver -k >/dev/null 2>&1 || true
  if [ $# -gt 0 ]; then "$VORLIN_REPO/scripts/vports" start "$@"; fi
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  # Wine opens ports in the wineserver: the modem-line library there makes
  # each virtual port exclusive and drops its lines on close (tools/vmodem).
  if [ -f "$VORLIN_MODEM_LIB" ]; then
    LD_PRELOAD=${LD_PRELOAD:+$LD_PRELOAD:}$VORLIN_MODEM_LIB wineserver -p >"$VORLIN_BUILD/wineserver.log" 2>&1
  else
    wineserver -p >"$VORLIN_BUILD/wineserver.log" 2>&1
  fi
  # Start Wine's helper processes now, with their output in a file, so no
  # test's output pipe is held open by them.
  wine cmd /c exit >"$VORLIN_BUILD/wine-session.log" 2>&1 </dev/null || true
  # The English prefix (code page 1252) has its own wineserver and helpers,
  # started the same way and ended with the session.
  if [ -d "$VORLIN_PREFIX_EN" ]; then
    (
      export WINEPREFIX=$VORLIN_PREFIX_EN LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8
      wineserver -k >/dev/null 2>&1 || true
      wineserver -w >/dev/null 2>&1 || true
      wineserver -p >"$VORLIN_BUILD/wineserver-en.log" 2>&1
      wine cmd /c exit >"$VORLIN_BUILD/wine-session-en.log" 2>&1 </dev/null || true
    )
  fi
}

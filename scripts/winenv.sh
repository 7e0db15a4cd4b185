# Sourced by the test and run scripts: a private Wine prefix with a persistent
# wineserver, and an Xvfb display, all started with their output sent to
# /dev/null (Wine's services inherit the standard output of the first Wine
# process; left attached, ctest would wait on them). Call winenv_stop at the end.
#
# Set PELORIN_WINEPREFIX to reuse a prefix between runs; by default every
# checkout gets a prefix of its own, so two checkouts can test at once.

winenv_start() {
  : "${PELORIN_WINEPREFIX:=${TMPDIR:-/tmp}/pelorin-wine-$(id -u)-$(pwd | cksum | cut -d' ' -f1)}"
  export WINEPREFIX="$PELORIN_WINEPREFIX"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"

  # A free X display number: no lock file and no socket.
  n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
  WINENV_XVFB_PID=$!
  export DISPLAY=":$n"
  i=0
  while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 100 ]; do sleep 0.05; i=$((i + 1)); done

  wineserver -p </dev/null >/dev/null 2>&1
  /usr/lib/wine/wine64 wineboot -u </dev/null >/dev/null 2>&1 || true
  # A process that dies of an unhandled fault would otherwise hang in the
  # crash dialog until someone closes it.
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
    /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1 || true
  # Nor does it wait while a debugger writes its report (seconds under load):
  # with no debugger set, a process that faults ends at once, as a crashed
  # plugin host does for its peer.
  /usr/lib/wine/wine64 reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
    /t REG_SZ /d '' /f </dev/null >/dev/null 2>&1 || true
}

winenv_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k </dev/null >/dev/null 2>&1 || true
  fi
  if [ -n "${WINENV_XVFB_PID:-}" ]; then
    kill "$WINENV_XVFB_PID" 2>/dev/null || true
    wait "$WINENV_XVFB_PID" 2>/dev/null || true
    WINENV_XVFB_PID=""
  fi
}

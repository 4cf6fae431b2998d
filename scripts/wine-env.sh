# Sourced by the test and run scripts: a private Xvfb display and a fresh 32-bit Wine prefix.
#   ruvo_wine_up <prefix-dir>   exports DISPLAY, WINEPREFIX, WINEARCH, WINEDEBUG
#   ruvo_wine_down              ends the prefix's wineserver and the display

RUVO_XVFB_PID=""

ruvo_reg() { timeout 60 wine reg "$@" >/dev/null 2>&1; }

ruvo_start_xvfb() {
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  RUVO_XVFB_PID=$!
  local n
  if ! read -r -t 20 n <"$fifo"; then
    rm -f "$fifo"
    echo "Xvfb did not start" >&2
    return 1
  fi
  rm -f "$fifo"
  export DISPLAY=":$n"
}

ruvo_wine_up() {
  local prefix=$1
  export WINEDEBUG=-all WINEARCH=win32 WINEPREFIX=$prefix WINEDLLOVERRIDES="mscoree,mshtml="
  [ -n "${DISPLAY_OVERRIDE:-}" ] && export DISPLAY=$DISPLAY_OVERRIDE || ruvo_start_xvfb
  if [ ! -f "$prefix/.ruvo-ready" ]; then
    rm -rf "$prefix"
    mkdir -p "$(dirname "$prefix")"
    timeout 120 wineboot -i >/dev/null 2>&1 || true
    timeout 60 wineserver -w || true
    # A crash must end the process, not open winedbg and hang the run.
    ruvo_reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
    ruvo_reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f
    # Without a window manager, every top-level show/hide waits ~2 s for one; unmanaged
    # windows do not.
    ruvo_reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
    timeout 60 wineserver -w || true
    touch "$prefix/.ruvo-ready"
  fi
}

ruvo_wine_down() {
  timeout 20 wineserver -k >/dev/null 2>&1 || true
  if [ -n "$RUVO_XVFB_PID" ]; then
    kill "$RUVO_XVFB_PID" 2>/dev/null || true
    wait "$RUVO_XVFB_PID" 2>/dev/null || true
    RUVO_XVFB_PID=""
  fi
}

# Sourced by the test, run and bench scripts: a private Xvfb display and a Wine prefix of one
# edition's architecture.
#   ruvo_wine32_works           true when this machine runs 32-bit Wine (found by trying it)
#   ruvo_pick_edition           32 where 32-bit Wine runs, 64 otherwise
#   ruvo_wine_env <prefix> <32|64>
#                               exports RUVO_WINE (the loader to run programs with),
#                               WINEPREFIX, WINEARCH, WINELOADER, WINEDEBUG
#   ruvo_prefix_up              makes the exported prefix ready once (boot, settings)
#   ruvo_start_xvfb             a private display, exported as DISPLAY
#   ruvo_wine_up <prefix> <32|64>
#                               all three (DISPLAY_OVERRIDE keeps a display already there)
#   ruvo_wine_down              ends the prefix's wineserver and the display
# /usr/bin/wine always picks the 32-bit loader when wine32 is installed, so each edition names
# its loader directly.

RUVO_XVFB_PID=""

# Runs a command under the run's time bound (RUVO_WINE_TIMEOUT). For a test program
# (RUVO_TEST_PROGRAM=1) an exit code that claims success counts only when the program also
# reached the end of its test run: Wine can end a process that crashed with exit code 0.
ruvo_run_bounded() { # <command...>
  local status=0 mark=""
  if [ "${RUVO_TEST_PROGRAM:-}" = 1 ]; then
    mark=$(mktemp)
    export RUVO_TEST_END_MARK="Z:${mark//\//\\}"
  fi
  timeout -k 5 "${RUVO_WINE_TIMEOUT:-300}" "$@" || status=$?
  if [ -n "$mark" ]; then
    if { [ "$status" = 0 ] || [ "$status" = 77 ]; } && [ ! -s "$mark" ]; then
      echo "the test program ended with exit code $status before its test run finished (it crashed)"
      status=1
    fi
    rm -f "$mark"
  fi
  return "$status"
}

ruvo_wine32_works() {
  [ -x /usr/lib/wine/wine ] && timeout 60 /usr/lib/wine/wine --version >/dev/null 2>&1
}

ruvo_pick_edition() {
  if ruvo_wine32_works; then echo 32; else echo 64; fi
}

ruvo_wine_env() {
  local prefix=$1 arch=${2:-32}
  export WINEDEBUG=-all WINEPREFIX=$prefix WINEDLLOVERRIDES="mscoree,mshtml="
  if [ "$arch" = 64 ]; then
    export RUVO_WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64 WINEARCH=win64
  else
    export RUVO_WINE=/usr/lib/wine/wine WINELOADER=/usr/lib/wine/wine WINEARCH=win32
  fi
}

ruvo_reg() { timeout 60 "$RUVO_WINE" reg "$@" >/dev/null 2>&1; }

ruvo_prefix_up() {
  [ -f "$WINEPREFIX/.ruvo-ready" ] && return 0
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  timeout 180 "$RUVO_WINE" wineboot -i >/dev/null 2>&1 || true
  timeout 60 wineserver -w || true
  # A crash must end the process, not open winedbg and hang the run.
  ruvo_reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
  ruvo_reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f
  # Without a window manager, every top-level show/hide waits ~2 s for one; unmanaged
  # windows do not.
  ruvo_reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
  # Chinese texts (our labels, message boxes, demo names) fall back to the installed CJK font
  # instead of drawing boxes.
  local face
  for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "Segoe UI"; do
    ruvo_reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" \
      /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f
  done
  timeout 60 wineserver -w || true
  touch "$WINEPREFIX/.ruvo-ready"
}

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
  ruvo_wine_env "$1" "${2:-32}"
  if [ -n "${DISPLAY_OVERRIDE:-}" ]; then export DISPLAY=$DISPLAY_OVERRIDE; else ruvo_start_xvfb; fi
  ruvo_prefix_up
}

ruvo_wine_down() {
  timeout 20 wineserver -k >/dev/null 2>&1 || true
  if [ -n "$RUVO_XVFB_PID" ]; then
    kill "$RUVO_XVFB_PID" 2>/dev/null || true
    wait "$RUVO_XVFB_PID" 2>/dev/null || true
    RUVO_XVFB_PID=""
  fi
}

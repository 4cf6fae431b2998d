#!/usr/bin/env bash
# Runs one 32-bit Windows program in a 64-bit Wine prefix (beside the run's 32-bit one), for
# the tests of what the program does on 64-bit Windows. Time-bounded like wine-run.sh.
set -euo pipefail
: "${WINEPREFIX:?run from scripts/test.sh}"
export WINEPREFIX="${WINEPREFIX}-win64" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/.ruvo-ready" ]; then
  rm -rf "$WINEPREFIX"
  timeout 180 wineboot -i >/dev/null 2>&1 || true
  timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
  timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
  timeout 60 wineserver -w || true
  touch "$WINEPREFIX/.ruvo-ready"
fi
status=0
timeout -k 5 "${RUVO_WINE_TIMEOUT:-300}" wine "$@" || status=$?
timeout 20 wineserver -k >/dev/null 2>&1 || true
exit $status

#!/usr/bin/env bash
# Runs one Windows program under Wine with a time bound (CTest's emulator for the Windows
# builds). The loader and prefix (RUVO_WINE, WINEPREFIX, DISPLAY) come from scripts/test.sh.
: "${WINEDEBUG:=-all}"
export WINEDEBUG
exec timeout -k 5 "${RUVO_WINE_TIMEOUT:-300}" "${RUVO_WINE:-wine}" "$@"

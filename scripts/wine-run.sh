#!/usr/bin/env bash
# Runs one Windows program under Wine with a time bound (CTest's emulator for the Win32 build).
# The environment (WINEPREFIX, DISPLAY) comes from scripts/test.sh.
: "${WINEDEBUG:=-all}"
export WINEDEBUG
exec timeout -k 5 "${RUVO_WINE_TIMEOUT:-300}" wine "$@"

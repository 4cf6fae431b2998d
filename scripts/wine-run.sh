#!/usr/bin/env bash
# Runs one Windows program under Wine with a time bound (CTest's emulator for the Windows
# builds). The loader and prefix (RUVO_WINE, WINEPREFIX, DISPLAY) come from scripts/test.sh.
: "${WINEDEBUG:=-all}"
export WINEDEBUG
source "$(dirname "$0")/wine-env.sh"
ruvo_run_bounded "${RUVO_WINE:-wine}" "$@"

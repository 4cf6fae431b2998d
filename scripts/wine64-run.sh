#!/usr/bin/env bash
# Runs one 32-bit Windows program in a 64-bit Wine prefix beside the run's 32-bit one, for the
# tests of what the 32-bit edition does on 64-bit Windows. Time-bounded like wine-run.sh.
set -euo pipefail
: "${WINEPREFIX:?run from scripts/test.sh}"
source "$(dirname "$0")/wine-env.sh"
ruvo_wine_env "${WINEPREFIX}-win64" 64
ruvo_prefix_up
status=0
timeout -k 5 "${RUVO_WINE_TIMEOUT:-300}" "$RUVO_WINE" "$@" || status=$?
timeout 20 wineserver -k >/dev/null 2>&1 || true
exit $status

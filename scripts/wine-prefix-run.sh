#!/usr/bin/env bash
# Runs one Windows program in a Wine prefix of its own beside the run's prefix, made fresh for
# each run of the test suite: wine-prefix-run.sh <name> <32|64> <program> [args...]
# (prefix "$WINEPREFIX-<name>" of that architecture). For tests that change the whole system
# (an installer) or need another architecture (the 32-bit program on 64-bit Windows).
# Time-bounded like wine-run.sh; the prefix's wineserver is ended afterwards.
set -euo pipefail
: "${WINEPREFIX:?run from scripts/test.sh}"
name=$1 arch=$2
shift 2
source "$(dirname "$0")/wine-env.sh"
ruvo_wine_env "${WINEPREFIX}-$name" "$arch"
ruvo_prefix_up
status=0
ruvo_run_bounded "$RUVO_WINE" "$@" || status=$?
timeout 20 wineserver -k >/dev/null 2>&1 || true
exit $status

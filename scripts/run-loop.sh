#!/usr/bin/env bash
# Runs the run command N times per edition, each in a fresh Wine prefix, and prints how many
# runs passed. Not part of the test command: it measures how dependable the run is.
#   bash scripts/run-loop.sh [N] [editions]     default: 10 runs of each edition this machine runs
# A failed run's log and the program's and service's trace files are kept under
# build/run-loop/<edition>-<run>/.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RUVO_BUILD_DIR:-$root/build}
count=${1:-10}
source "$root/scripts/wine-env.sh"
editions=${2:-$(if ruvo_wine32_works; then echo "32 64"; else echo 64; fi)}
out=$build/run-loop
mkdir -p "$out"
summary=""
for edition in $editions; do
  passed=0
  for i in $(seq "$count"); do
    rm -rf "$build/run/wineprefix$edition"
    log=$out/last.log
    start=$(date +%s)
    if env -u DISPLAY RUVO_EDITION=$edition RUVO_RUN_SECONDS=0 timeout 600 bash "$root/scripts/run.sh" >"$log" 2>&1 &&
       [ -s "$build/run/shot.png" ] && grep -q '^\[demo\] ".*": [0-9]* rows' "$log"; then
      passed=$((passed + 1))
      echo "$edition-bit run $i: passed in $(($(date +%s) - start)) s; $(grep '^\[demo\]' "$log" | tail -1)"
    else
      keep=$out/$edition-$i
      mkdir -p "$keep"
      cp "$log" "$keep/run.log"
      cp "$build/run/"{program-trace.log,service-trace.log,program.log,service.log} "$keep/" 2>/dev/null
      echo "$edition-bit run $i: FAILED (kept in $keep): $(grep '^\[demo\]' "$log" | tr '\n' ' ')"
    fi
  done
  summary+="$edition-bit edition: $passed of $count runs passed"$'\n'
done
printf '%s' "$summary"

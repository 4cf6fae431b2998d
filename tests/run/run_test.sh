#!/usr/bin/env bash
# The README's run command end to end on a private display: in the mode that ends by itself it
# must save a picture whose result area differs from the empty file view and leave no process
# of its Wine prefix behind; started to keep running, `run.sh stop` must end all of it.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${RUVO_BUILD_DIR:-$root/build}
run=$build/run
log=$build/run-test.log
status=0
fail() { echo "run test: $*" >&2; status=1; }

# Processes whose environment names one of the run's prefixes.
leftovers() {
  local p found=""
  for p in /proc/[0-9]*; do
    [ "$p" = "/proc/$$" ] && continue
    if { tr '\0' '\n' <"$p/environ"; } 2>/dev/null | grep -q "^WINEPREFIX=$run/wineprefix"; then found+=" ${p#/proc/}"; fi
  done
  echo "$found"
}

echo "== run.sh with RUVO_RUN_SECONDS=0"
rm -f "$run/shot.png" "$run/before.png"
if ! env -u DISPLAY RUVO_RUN_SECONDS=0 timeout 900 bash "$root/scripts/run.sh" >"$log" 2>&1; then
  tail -20 "$log" >&2
  fail "run.sh failed"
fi
grep '^\[demo\]' "$log" || true
if [ -s "$run/shot.png" ] && [ -s "$run/before.png" ]; then
  # The file view area: right of the navigation tree, below the search box.
  area=880x560+200+80
  total=$((880 * 560))
  convert "$run/before.png" -crop "$area" +repage "$run/before-area.png"
  convert "$run/shot.png" -crop "$area" +repage "$run/shot-area.png"
  changed=$(compare -metric AE -fuzz 8% "$run/before-area.png" "$run/shot-area.png" null: 2>&1 || true)
  changed=${changed%%[!0-9]*}
  echo "result area: ${changed:-0} of $total pixels differ from the empty file view"
  # Rows of icons and text change about a tenth of the area; an empty list changes next to nothing.
  [ "${changed:-0}" -gt $((total / 20)) ] || fail "the result area looks like the empty file view"
else
  fail "no picture saved"
fi
left=$(leftovers)
[ -z "$left" ] || fail "processes left behind:$left"

echo "== run.sh kept running, then run.sh stop"
rm -f "$run/shot.png"
env -u DISPLAY timeout 900 bash "$root/scripts/run.sh" >"$log" 2>&1 &
runner=$!
for _ in $(seq 600); do [ -s "$run/shot.png" ] || ! kill -0 "$runner" 2>/dev/null && break; sleep 0.5; done
[ -s "$run/shot.png" ] || fail "the kept-running run saved no picture"
bash "$root/scripts/run.sh" stop
for _ in $(seq 60); do kill -0 "$runner" 2>/dev/null || break; sleep 0.5; done
if kill -0 "$runner" 2>/dev/null; then
  fail "run.sh did not end within 30 s of run.sh stop"
  kill "$runner" 2>/dev/null || true
fi
wait "$runner" 2>/dev/null || true
left=$(leftovers)
[ -z "$left" ] || fail "processes left behind after run.sh stop:$left"
[ "$status" = 0 ] && echo "run test passed"
exit $status

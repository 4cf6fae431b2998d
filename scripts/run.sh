#!/usr/bin/env bash
# The product at work: sets up, builds, and under Wine starts the search service (console mode)
# on a generated demo tree, a stand-in Explorer window on that tree and RuvoSearch.exe; then, with
# real input only, clicks into the Explorer search box, types a query one letter at a time, and
# saves a picture of the window with the results (build/run/shot.png).
#   bash scripts/run.sh            run, then keep running for use by hand until Ctrl+C or
#                                  `bash scripts/run.sh stop`
#   bash scripts/run.sh stop       end a run started elsewhere
#   bash scripts/run.sh readme     run once and refresh the README's picture (docs/demo.png)
#   RUVO_RUN_SECONDS=N             end by itself N seconds after the picture
#   RUVO_QUERY=text                what is typed (default "report")
#   RUVO_EDITION=32|64             which edition runs (default: 32-bit where 32-bit Wine runs)
# It runs on the current X display when there is one, on a private Xvfb otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${RUVO_BUILD_DIR:-$root/build}
run=$build/run
mode=${1:-}

if [ "$mode" = "stop" ]; then
  if [ -f "$run/run.pid" ] && kill "$(cat "$run/run.pid")" 2>/dev/null; then echo "stopping"; else echo "not running"; fi
  exit 0
fi
[ "$mode" = "readme" ] && export RUVO_RUN_SECONDS=0
query=${RUVO_QUERY:-report}

bash scripts/setup.sh
source scripts/wine-env.sh
edition=${RUVO_EDITION:-$(ruvo_pick_edition)}
arch=$([ "$edition" = 64 ] && echo x86_64 || echo i686)
echo "[run] $edition-bit edition"
cmake -S . -B "$build/win$edition" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" >/dev/null
cmake --build "$build/win$edition" --target RuvoSearch ruvo_hookdll RuvoService explorer_standin shell_standin \
  post_message demo_driver demo_capture
bin=$build/win$edition/bin

mkdir -p "$run"
pids=()
cleanup() {
  trap - EXIT INT TERM
  echo "[run] stopping"
  # The program ends the way its installer ends it (WM_CLOSE 10/10); the rest by process id.
  [ -n "${WINEPREFIX:-}" ] && timeout 10 "$RUVO_WINE" "$bin/post_message.exe" TfrmRuvoSearch 16 10 10 >/dev/null 2>&1 || true
  sleep 1
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  ruvo_wine_down
  rm -f "$run/run.pid"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
echo $$ >"$run/run.pid"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  export DISPLAY_OVERRIDE=$DISPLAY
  echo "[run] on your display $DISPLAY"
fi
ruvo_wine_up "$run/wineprefix$edition" "$edition"
bash tests/fixtures/shell_standin/register.sh "$WINEPREFIX" "$bin/shell_standin.dll"

demo=$run/demo
python3 scripts/make-demo-tree.py "$demo" --files 3000
# The tree is the prefix's drive D:, so paths read the way they would on a PC.
ln -sfn "$demo" "$WINEPREFIX/dosdevices/d:"
demo_win='D:\'
demo_url="file:///$(echo "$demo_win" | tr '\\' '/')"

# The program's and the service's diagnostic lines are kept beside the picture.
winpath() { "$RUVO_WINE" winepath -w "$1" 2>/dev/null; }
rm -f "$run/program-trace.log" "$run/service-trace.log"
echo "[run] search service on $demo_win"
RUVO_TRACE_FILE=$(winpath "$run/service-trace.log") "$RUVO_WINE" "$bin/RuvoService.exe" /console /root "$demo_win" >"$run/service.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q serving "$run/service.log" 2>/dev/null && break; sleep 0.2; done
echo "[run] stand-in Explorer"
"$RUVO_WINE" "$bin/explorer_standin.exe" "demo|$demo_url" >/dev/null 2>&1 &
pids+=($!)
echo "[run] RuvoSearch.exe"
RUVO_TRACE_FILE=$(winpath "$run/program-trace.log") "$RUVO_WINE" "$bin/RuvoSearch.exe" >"$run/program.log" 2>&1 &
pids+=($!)

shot=$run/shot.png
rm -f "$shot" "$run/before.png"
echo "[run] clicking into the search box and typing \"$query\""
timeout 120 "$RUVO_WINE" "$bin/demo_driver.exe" "$query" "$(winpath "$shot")" "$(winpath "$run/before.png")" \
  "$(winpath "$run/program-trace.log")"
echo "[run] screenshot: $shot"
if [ "$mode" = "readme" ]; then
  # A small copy for the README: a bounded palette keeps it a few tens of kilobytes.
  convert "$shot" +dither -colors 96 -strip "$root/docs/demo.png"
  echo "[run] README picture: $root/docs/demo.png"
fi

if [ -n "${RUVO_RUN_SECONDS:-}" ]; then
  sleep "$RUVO_RUN_SECONDS"
else
  echo "[run] running on DISPLAY=$DISPLAY; Ctrl+C or 'bash scripts/run.sh stop' ends it"
  while true; do sleep 1; done
fi

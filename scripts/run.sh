#!/usr/bin/env bash
# Sets up, builds, and runs RuvoSearch under Wine on a private Xvfb display with the search
# service (console mode, serving a demo folder) and a stand-in Explorer window on that folder,
# then takes a screenshot (build/run/shot.png). Everything keeps running until asked to stop:
#   bash scripts/run.sh          run (Ctrl+C, or `bash scripts/run.sh stop` from elsewhere, ends it)
#   RUVO_RUN_SECONDS=N           end by itself after N seconds
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${RUVO_BUILD_DIR:-$root/build}
run=$build/run

if [ "${1:-}" = "stop" ]; then
  [ -f "$run/run.pid" ] && kill "$(cat "$run/run.pid")" 2>/dev/null && echo "stopping" || echo "not running"
  exit 0
fi

bash scripts/setup.sh
source scripts/wine-env.sh
# The 32-bit edition where this machine runs 32-bit Wine, the 64-bit one otherwise.
edition=${RUVO_EDITION:-$(ruvo_pick_edition)}
arch=$([ "$edition" = 64 ] && echo x86_64 || echo i686)
echo "[run] $edition-bit edition"
cmake -S . -B "$build/win$edition" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" >/dev/null
cmake --build "$build/win$edition" --target RuvoSearch ruvo_hookdll RuvoService explorer_standin shell_standin post_message
bin=$build/win$edition/bin

mkdir -p "$run"
pids=()
cleanup() {
  trap - EXIT INT TERM
  echo "[run] stopping"
  timeout 10 "$RUVO_WINE" "$bin/post_message.exe" TfrmRuvoSearch 16 10 10 >/dev/null 2>&1 || true
  sleep 2
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  ruvo_wine_down
  rm -f "$run/run.pid"
}
trap cleanup EXIT INT TERM
echo $$ > "$run/run.pid"
ruvo_wine_up "$run/wineprefix$edition" "$edition"
bash tests/fixtures/shell_standin/register.sh "$WINEPREFIX" "$bin/shell_standin.dll"

# A small folder tree to search.
demo=$run/demo
rm -rf "$demo"
mkdir -p "$demo/文档/模板" "$demo/文档/工作" "$demo/图片" "$demo/projects/ruvo"
touch "$demo/文档/年度报告.docx" "$demo/文档/模板/报告模板.docx" "$demo/文档/工作/周报告_第45周.xlsx" \
      "$demo/图片/holiday.jpg" "$demo/projects/ruvo/report.txt" "$demo/projects/ruvo/notes.md"
demo_win=$("$RUVO_WINE" winepath -w "$demo" 2>/dev/null)
demo_url="file:///$(echo "$demo_win" | tr '\\' '/')"

echo "[run] search service on $demo_win"
"$RUVO_WINE" "$bin/RuvoService.exe" /console /root "$demo_win" >"$run/service.log" 2>&1 &
pids+=($!)
echo "[run] stand-in Explorer"
"$RUVO_WINE" "$bin/explorer_standin.exe" "demo|$demo_url" >/dev/null 2>&1 &
pids+=($!)
sleep 2
echo "[run] RuvoSearch.exe"
"$RUVO_WINE" "$bin/RuvoSearch.exe" >"$run/program.log" 2>&1 &
pids+=($!)
sleep 3
# Show the usage hint the way another process asks for it (WM_CLOSE 10/11).
timeout 10 "$RUVO_WINE" "$bin/post_message.exe" TfrmRuvoSearch 16 10 11 >/dev/null 2>&1 || echo "[run] main form not found"
sleep 2
import -window root "$run/shot.png"
echo "[run] screenshot: $run/shot.png"

if [ -n "${RUVO_RUN_SECONDS:-}" ]; then
  sleep "$RUVO_RUN_SECONDS"
else
  echo "[run] running on DISPLAY=$DISPLAY; Ctrl+C or 'bash scripts/run.sh stop' ends it"
  while true; do sleep 1; done
fi

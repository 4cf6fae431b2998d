#!/usr/bin/env bash
# Builds and runs every benchmark: native ones with g++ (optimised), Windows ones under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${RUVO_BUILD_DIR:-$root/build}
bash scripts/setup.sh
cmake -S . -B "$build/native-release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/native-release" --target bench
source scripts/wine-env.sh
edition=${RUVO_EDITION:-$(ruvo_pick_edition)}
arch=$([ "$edition" = 64 ] && echo x86_64 || echo i686)
win=$build/win$edition
echo "== Windows benchmarks: $edition-bit edition"
cmake -S . -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" >/dev/null
cmake --build "$win"
trap ruvo_wine_down EXIT
rm -rf "$build/wineprefix-bench$edition"
ruvo_wine_up "$build/wineprefix-bench$edition" "$edition"
echo "== RuvoSearch.exe idle"
bash bench/win/app/idle.sh "$win/bin"
while read -r b; do
  [ -n "$b" ] || continue
  echo "== $b"
  RUVO_WINE_TIMEOUT=600 scripts/wine-run.sh "$win/bin/$b.exe"
done < "$win/wine-benches.txt"

#!/usr/bin/env bash
# Builds and runs every benchmark: native ones with g++ (optimised), Windows ones under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${RUVO_BUILD_DIR:-$root/build}
bash scripts/setup.sh
cmake -S . -B "$build/native-release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/native-release" --target bench
cmake -S . -B "$build/win32" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build/win32"
source scripts/wine-env.sh
trap ruvo_wine_down EXIT
rm -rf "$build/wineprefix-bench"
ruvo_wine_up "$build/wineprefix-bench"
echo "== RuvoSearch.exe idle"
bash bench/win/app/idle.sh "$build/win32/bin"
while read -r b; do
  [ -n "$b" ] || continue
  echo "== $b"
  RUVO_WINE_TIMEOUT=600 scripts/wine-run.sh "$build/win32/bin/$b.exe"
done < "$build/win32/wine-benches.txt"

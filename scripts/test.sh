#!/usr/bin/env bash
# Sets up the machine, builds both trees, runs the native unit tests and a short fuzz run of
# the core (RUVO_FUZZ_SECONDS per target, default 10), then the Windows tests
# under Wine in a fresh prefix on a private Xvfb display. Exits non-zero when anything fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${RUVO_BUILD_DIR:-$root/build}

bash scripts/setup.sh

echo "== native build (portable core, ASan + UBSan)"
cmake -S . -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRUVO_SANITIZE=ON >/dev/null
cmake --build "$build/native"
echo "== native tests"
ctest --test-dir "$build/native" --output-on-failure -j2

echo "== fuzzing the core (${RUVO_FUZZ_SECONDS:-10} s per target)"
RUVO_FUZZ_BUILD_DIR="$build/fuzz" RUVO_FUZZ_SECONDS="${RUVO_FUZZ_SECONDS:-10}" RUVO_FUZZ_SEED="${RUVO_FUZZ_SEED:-1}" \
  bash scripts/fuzz.sh

echo "== Windows build (i686, MinGW-w64)"
cmake -S . -B "$build/win32" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build/win32"

echo "== Windows tests under Wine"
source scripts/wine-env.sh
trap ruvo_wine_down EXIT
rm -rf "$build/wineprefix" "$build/wineprefix-win64"
ruvo_wine_up "$build/wineprefix"
# Serial: the programs under test share machine-wide names (pipes, mutexes, window classes).
ctest --test-dir "$build/win32" --output-on-failure -j1

#!/usr/bin/env bash
# Sets up the machine, builds everything, runs the native unit tests and a short fuzz run of
# the core (RUVO_FUZZ_SECONDS per target, default 10), then builds both Windows editions and
# runs the Wine suite on the 64-bit edition always and on the 32-bit edition where this machine
# runs 32-bit Wine, each in a fresh prefix of its architecture on a private Xvfb display, and
# ends with the run command end to end (tests/run/run_test.sh). Exits non-zero when anything
# fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${RUVO_BUILD_DIR:-$root/build}

step() { printf '== %s\n' "$*"; }
timed() { # <label> <command...>: runs the command and says how long it took
  local label=$1 start status=0
  shift
  start=$(date +%s)
  "$@" || status=$?
  printf '== %s: %ss%s\n' "$label" "$(($(date +%s) - start))" "$([ "$status" = 0 ] || echo " (failed)")"
  return $status
}

timed "set-up" bash scripts/setup.sh

native() {
  cmake -S . -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRUVO_SANITIZE=ON >/dev/null
  cmake --build "$build/native"
  ctest --test-dir "$build/native" --output-on-failure -j2
}
step "native build and tests (portable core, ASan + UBSan)"
timed "native build and tests" native

step "fuzzing the core (${RUVO_FUZZ_SECONDS:-10} s per target)"
RUVO_FUZZ_BUILD_DIR="$build/fuzz" RUVO_FUZZ_SECONDS="${RUVO_FUZZ_SECONDS:-10}" RUVO_FUZZ_SEED="${RUVO_FUZZ_SEED:-1}" \
  timed "fuzzing" bash scripts/fuzz.sh

windows_build() { # <32|64> <toolchain arch>
  cmake -S . -B "$build/win$1" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$2.cmake" >/dev/null
  cmake --build "$build/win$1"
}
step "Windows build, 64-bit edition (x86_64)"
timed "64-bit build" windows_build 64 x86_64
step "Windows build, 32-bit edition (i686)"
timed "32-bit build" windows_build 32 i686

source scripts/wine-env.sh
trap ruvo_wine_down EXIT
wine_suite() { # <32|64>
  local prefix="$build/wineprefix$1" status=0
  rm -rf "$prefix" "$prefix"-*
  ruvo_wine_up "$prefix" "$1"
  # Serial: the programs under test share machine-wide names (pipes, mutexes, window classes).
  ctest --test-dir "$build/win$1" --output-on-failure -j1 || status=$?
  ruvo_wine_down
  return $status
}
status=0
step "Wine tests, 64-bit edition"
timed "64-bit Wine tests" wine_suite 64 || status=1
if ruvo_wine32_works; then
  step "Wine tests, 32-bit edition"
  timed "32-bit Wine tests" wine_suite 32 || status=1
else
  echo "32-bit Wine cannot run on this machine: the 32-bit edition was built, its Wine tests were not run"
fi
step "the run command, end to end"
timed "run command" bash tests/run/run_test.sh || status=1
exit $status

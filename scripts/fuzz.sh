#!/usr/bin/env bash
# Builds the libFuzzer targets of the portable core with clang and runs each for
# RUVO_FUZZ_SECONDS (default 20) from its seed corpus. Fails when a target finds a crash, a
# sanitizer report or a broken property; the input that did it is left in the build folder.
#   RUVO_FUZZ_SECONDS=300 scripts/fuzz.sh            # all targets, five minutes each
#   scripts/fuzz.sh storage frame                     # only these
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RUVO_FUZZ_BUILD_DIR:-${RUVO_BUILD_DIR:-$root/build}/fuzz}
seconds=${RUVO_FUZZ_SECONDS:-20}
# A fixed seed makes a run repeatable (RUVO_FUZZ_SEED=0 lets libFuzzer pick one).
seed=${RUVO_FUZZ_SEED:-0}
cxx=${RUVO_FUZZ_CXX:-$(command -v clang++-14 || command -v clang++ || true)}
[ -n "$cxx" ] || { echo "fuzz: clang++ not found (scripts/setup.sh installs clang-14)" >&2; exit 1; }

cmake -S "$root/tests/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$build"

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(storage frame url wildcard wtf8 index)

seeds="$build/seeds"
rm -rf "$seeds"
"$build/fuzz_seeds" "$seeds"

failed=()
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  artifacts="$build/artifacts/$t"
  mkdir -p "$corpus" "$artifacts" "$seeds/$t"
  log="$build/fuzz_$t.log"
  echo "== fuzz $t (${seconds}s)"
  # The outer bound covers start-up and the final merge of a slow input.
  if timeout --kill-after=10 $((seconds + 60)) "$build/fuzz_$t" \
      -max_total_time="$seconds" -seed="$seed" -timeout=10 -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$corpus" "$seeds/$t" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "   ok: ${runs:-?} runs, ${rate:-?} exec/s"
  else
    echo "   FAILED, see $log and $artifacts/" >&2
    grep -E 'ERROR|property failed|SUMMARY|Test unit written' "$log" | head -n 8 >&2 || true
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: failures in: ${failed[*]}" >&2
  exit 1
fi

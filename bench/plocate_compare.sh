#!/usr/bin/env bash
# Runs the index bench's query set against plocate (name only, ignoring case, the first 10,000
# hits) on the paths the bench generates, so its figures and ours can be set side by side.
# Skipped where plocate is not installed. RUVO_PLOCATE_ENTRIES sets the size (default 1000000).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RUVO_BUILD_DIR:-$root/build}
entries=${RUVO_PLOCATE_ENTRIES:-1000000}
plocate=$(command -v plocate || true)
builder=$(command -v plocate-build || { [ -x /usr/sbin/plocate-build ] && echo /usr/sbin/plocate-build; } || true)
if [ -z "$plocate" ] || [ -z "$builder" ]; then
  echo "plocate is not installed: comparison skipped"
  exit 0
fi
cmake -S "$root" -B "$build/native-release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/native-release" --target bench_index_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/native-release/bench/bench_index_bench" --paths "$work/paths.txt" "$entries"
# plocate takes POSIX paths: C:\a\b becomes /C:/a/b. No access check: the paths are not on disk.
sed 's|\\|/|g; s|^|/|' "$work/paths.txt" >"$work/posix.txt"
"$builder" --plaintext --require-visibility no "$work/posix.txt" "$work/plocate.db"

queries=(report .docx '*.txt' 文档 _12345 budget_2718 '文档 café_777' xyz zzz)
echo "== plocate on $entries entries, best of 3 (each run a process of its own)"
printf '%-18s %6s %10s\n' query items "answer ms"
for q in "${queries[@]}"; do
  best=
  for _ in 1 2 3; do
    t0=$(date +%s%N)
    items=$({ "$plocate" -d "$work/plocate.db" --basename --ignore-case --limit 10000 -- "$q" || true; } | wc -l)
    us=$((($(date +%s%N) - t0) / 1000))
    if [ -z "$best" ] || [ "$us" -lt "$best" ]; then best=$us; fi
  done
  printf '%-18s %6s %10s\n' "$q" "$items" "$(awk -v us="$best" 'BEGIN { printf "%.3f", us / 1000 }')"
done
echo "our figures for the same paths: $build/native-release/bench/bench_index_bench $entries"

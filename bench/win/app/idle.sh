#!/usr/bin/env bash
# Idle cost of RuvoSearch.exe under Wine: CPU time over 10 s after start-up and resident
# memory, read from the Linux side (Wine does not report another process's times). The hook
# thread's loop sleeps until its next duty (a scan every 200 ms); this shows what idling costs.
# Prints figures.
# Usage (inside a Wine environment, as scripts/bench.sh runs it): idle.sh <bin folder>
set -euo pipefail
bin=$1
tick=$(getconf CLK_TCK)
# With the service reachable the hook thread's loop keeps running (without it, and with no
# one to start it, the loop ends after its first pass).
root=$(mktemp -d)
"$RUVO_WINE" "$bin/RuvoService.exe" /console /root "$("$RUVO_WINE" winepath -w "$root" 2>/dev/null)" >/dev/null 2>&1 &
service=$!
trap 'kill $service 2>/dev/null; rm -rf "$root"' EXIT
sleep 2
# The loader becomes the Windows process, so the background job's id is the program's.
"$RUVO_WINE" "$bin/RuvoSearch.exe" >/dev/null 2>&1 &
pid=$!
sleep 3  # start-up settles
grep -qa 'RuvoSearch\.exe' "/proc/$pid/cmdline" 2>/dev/null || { echo "RuvoSearch.exe did not start"; exit 1; }
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
c0=$(cpu)
sleep 10
c1=$(cpu)
rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
awk -v d=$((c1 - c0)) -v t="$tick" 'BEGIN { printf "idle CPU over 10 s: %.0f ms (%.2f%% of one core)\n", d * 1000 / t, d * 100 / t / 10 }'
awk -v r="$rss" 'BEGIN { printf "resident memory after start-up: %.1f MiB (Wine process, shared libraries included)\n", r / 1024 }'
timeout 10 "$RUVO_WINE" "$bin/post_message.exe" TfrmRuvoSearch 16 10 10 >/dev/null 2>&1 || true
# Ended by its own id, never by a name another run's program could share.
for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill "$pid" 2>/dev/null || true

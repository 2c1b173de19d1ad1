#!/usr/bin/env bash
# Capacity figures a site plans its hosts with, all measured in one run on
# this machine: memory per idle process (300 alive at once), start-up time
# beside a floor and the start rate of a burst, throughput at 1 to 50
# processes beside raw queue ping-pong, and what they come to for 500 users.
# Builds what it runs (release preset), then prints the Markdown section
# "### Capacity" on standard output; progress and the tools' own reports go to
# standard error.
#
#   scripts/capacity.sh [--quick]
#
# --quick: 20 idle processes, 10 starts, 1, 2 and 5 processes - a check of
# the tools, not figures. A full run measures for about a minute on a 2-CPU
# machine, after the build. Run it on a quiet machine: every figure moves
# with what else runs. Ctrl-C stops it with every process ended and every
# queue removed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

case "${1:-}" in
  "") quick=0 idle=300 starts=50 counts="1 2 5 10 20 50" requests=30000 ;;
  --quick) quick=1 idle=20 starts=10 counts="1 2 5" requests=2000 ;;
  *) sed -n '10p' "$0" >&2; exit 2 ;;
esac

scripts/install-deps.sh >&2
cmake --preset release >/dev/null
cmake --build --preset release --target taxapi avptax avpzip vst loc capacity_tool start_floor load_tool raw_server >&2

bin=build/release/bin
runs=$(mktemp -d "${TMPDIR:-/tmp}/taxapi-capacity-run.XXXXXX")
trap 'rm -rf "$runs"' EXIT
git rev-parse --short HEAD >"$runs/commit"
git diff --quiet HEAD 2>/dev/null || echo "(with changes not committed)" >>"$runs/commit"
[ "$quick" = 0 ] || touch "$runs/quick"
cut -d' ' -f1-3 /proc/loadavg >"$runs/load-before"

echo "=== memory: $idle idle processes" >&2
"$bin/capacity_tool" memory -n "$idle" | tee "$runs/memory.txt" >&2
echo "=== start-up: $starts starts each" >&2
"$bin/capacity_tool" startup -n "$starts" | tee "$runs/startup.txt" >&2
# taxapi and the raw floor one after the other at each count, so a slow
# spell of the machine hits both; the same requests in all at every count.
for n in $counts; do
  for mode in taxapi raw; do
    echo "=== throughput: $mode, $n processes" >&2
    flag=(); [ "$mode" = raw ] && flag=(--raw)
    "$bin/load_tool" "${flag[@]}" -n "$n" -r $((requests / n)) | tee "$runs/load-$mode-$n.txt" >&2
  done
done
cut -d' ' -f1-3 /proc/loadavg >"$runs/load-after"

/usr/bin/python3 bench/capacity_report.py "$runs"

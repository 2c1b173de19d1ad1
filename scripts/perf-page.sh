#!/usr/bin/env bash
# The performance page: builds the release, runs the round-trip benchmark
# three times in a row and the load tool at 1 to 50 concurrent processes, and
# writes OUT_DIR/README.md (tables) with latency.png and throughput.png.
#
#   scripts/perf-page.sh [-b COMMIT] [-r REQUESTS_EACH] [OUT_DIR]    (default OUT_DIR: docs/perf)
#
# -b: the taxapi of an older commit (built in a scratch clone) has its idle
# cost measured beside this build's; e.g. f6d41ca, the last one whose receive
# woke every 10 ms.
# Needs what scripts/install-deps.sh installs, and matplotlib for Debian's
# python3 (package python3-matplotlib, installed here when missing; the plots
# are drawn with /usr/bin/python3, whatever python3 comes first on PATH).
# Timings move with the machine's load: the page records the load average.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

before=""
requests=500
while getopts "b:r:" opt; do
  case $opt in
    b) before=$OPTARG ;;
    r) requests=$OPTARG ;;
    *) sed -n '5,6p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
out=${1:-docs/perf}

scripts/install-deps.sh
if ! /usr/bin/python3 -c 'import matplotlib' 2>/dev/null; then
  apt-get install -y python3-matplotlib
fi
cmake --preset release >/dev/null
cmake --build build/release --target roundtrip_bench load_tool taxapi avptax avpzip vst loc

bin=build/release/bin
runs=$(mktemp -d "${TMPDIR:-/tmp}/taxapi-perf.XXXXXX")
trap 'rm -rf "$runs"' EXIT

old_taxapi=""
if [ -n "$before" ]; then
  echo "=== building taxapi of $before"
  git clone -q "$root" "$runs/old"
  git -C "$runs/old" checkout -q "$before"
  cmake -S "$runs/old" -B "$runs/old/b" -G Ninja -DTAXAPI_TESTS=OFF -DTAXAPI_BENCH=OFF >/dev/null
  cmake --build "$runs/old/b" --target taxapi >/dev/null
  old_taxapi=$runs/old/b/bin/taxapi
  echo "$before" >"$runs/before"
fi
cut -d' ' -f1-3 /proc/loadavg >"$runs/load-before"

# Three round-trip runs in a row; the idle cost once, in the first.
for run in 1 2 3; do
  args=(--samples="$runs/samples-$run.csv" --benchmark_out="$runs/bench-$run.json" --benchmark_out_format=json)
  if [ "$run" = 1 ]; then
    [ -n "$old_taxapi" ] && args+=(--before="$old_taxapi")
  else
    args+=(--benchmark_filter=BM_RoundTrips)
  fi
  echo "=== round trips, run $run"
  "$bin/roundtrip_bench" "${args[@]}" | tee "$runs/roundtrip-$run.txt"
done

for n in 1 2 5 10 20 50; do
  echo "=== load: $n processes x $requests requests"
  "$bin/load_tool" -n "$n" -r "$requests" | tee "$runs/load-$n.txt"
done
cut -d' ' -f1-3 /proc/loadavg >"$runs/load-after"

/usr/bin/python3 bench/perf_page.py "$runs" "$out"
echo "written: $out/README.md, $out/latency.png, $out/throughput.png"

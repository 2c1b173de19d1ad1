#!/usr/bin/env bash
# Measures how much of the code the test suite runs: the coverage build (GCC
# --coverage, no optimisation, no unity build: build/coverage), the whole
# ctest suite on it, then line, branch and function coverage per folder and
# in total with gcovr. Branches that only exceptions take and branches the
# compiler itself made unreachable are left out. It reports; it gates
# nothing. Writes build/coverage/coverage.json (per file) and an annotated
# copy of every source in build/coverage/html/index.html.
#
# The taxapi processes that the tests start write their counts when they
# exit; one killed by a signal that it does not catch (SIGKILL) writes none,
# so what it ran is missing from the report.
#
# The Debian package check (tests/package/package_test.sh) is not run here:
# it checks that what ships is fortified, which needs an optimised build, and
# its sessions run as users without an account, who cannot write the build's
# count files. What it runs, the suite runs too.
#
# Usage: scripts/coverage.sh [--report-only] [ctest options...]
#   --report-only  the report of the counts a run left, nothing built or run
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/coverage

report_only=0
if [ "${1:-}" = --report-only ]; then
  report_only=1
  shift
fi

scripts/install-deps.sh
if ! command -v gcovr >/dev/null 2>&1; then
  echo "installing: gcovr"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq gcovr
fi

status=0
if [ $report_only -eq 0 ]; then
  echo "=== coverage: configure and build"
  cmake --preset coverage >/dev/null
  cmake --build --preset coverage
  # Counts of an earlier run would add up with this one's (and those of an
  # earlier build would not match its objects).
  find "$build" -name '*.gcda' -delete
  queues() { ipcs -q | awk '$1 ~ /^0x/ {print $2}' | sort; }
  before=$(queues)
  echo "=== coverage: tests"
  ctest --preset coverage "$@" || status=1
  left=$(comm -13 <(echo "$before") <(queues) | grep -c . || true)
  if [ "$left" -gt 0 ]; then
    echo "the test suite left ${left} message queue(s) behind"
    status=1
  fi
fi

echo "=== coverage: report"
mkdir -p "$build/html"
gcovr --root . --object-directory "$build" -j 2 \
  --filter 'lib/' --filter 'peer/' --filter 'engines/' --filter 'version/' \
  --exclude-throw-branches --exclude-unreachable-branches \
  --json-summary-pretty --json-summary "$build/coverage.json" \
  --html-details "$build/html/index.html" \
  "$build" >/dev/null

# The per-file counts summed per folder; a file of none of these folders is
# counted under its own directory.
python3 - "$build/coverage.json" <<'EOF'
import json, os, sys

folders = ["lib/tax/core", "lib/tax/avp", "lib/tax/vertex", "lib/al_1", "peer",
           "engines/avp", "engines/vertex", "version"]
kinds = [("lines", "line"), ("branches", "branch"), ("functions", "function")]
sums = {}
for f in json.load(open(sys.argv[1]))["files"]:
    name = f["filename"]
    folder = next((d for d in folders if name.startswith(d + "/")), os.path.dirname(name))
    for group in (folder, "total"):
        s = sums.setdefault(group, {k: [0, 0] for _, k in kinds})
        for _, k in kinds:
            s[k][0] += f[k + "_covered"]
            s[k][1] += f[k + "_total"]

def cell(covered, total):
    return f"{covered:>5}/{total:<5} {100.0 * covered / total:5.1f}%" if total else f"{'-':>18}"

order = [d for d in folders if d in sums] + sorted(set(sums) - set(folders) - {"total"}) + ["total"]
print(f"{'folder':<16}" + "".join(f"  {title:>18}" for title, _ in kinds))
for group in order:
    print(f"{group:<16}" + "".join(f"  {cell(*sums[group][k])}" for _, k in kinds))
EOF
exit $status

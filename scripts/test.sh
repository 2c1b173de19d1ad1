#!/usr/bin/env bash
# Builds and runs the whole test suite: the release build (GCC) with the
# Debian package check, then the same tests under AddressSanitizer +
# UndefinedBehaviorSanitizer (clang). Fails when a test fails or when the
# suite leaves a System V message queue behind.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

queues() { ipcs -q | awk '$1 ~ /^0x/ {print $2}' | sort; }
before=$(queues)

status=0
for preset in release asan; do
  echo "=== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "=== ${preset}: tests"
  ctest --preset "$preset" || status=1
  if [ "$preset" = release ]; then
    echo "=== release: Debian package"
    tests/package/package_test.sh build/release || status=1
  fi
done

after=$(queues)
left=$(comm -13 <(echo "$before") <(echo "$after") | grep -c . || true)
if [ "$left" -gt 0 ]; then
  echo "the test suite left ${left} message queue(s) behind:"
  ipcs -q
  status=1
fi
exit $status

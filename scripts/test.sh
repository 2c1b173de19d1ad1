#!/usr/bin/env bash
# Builds and runs the whole test suite: the release build (GCC) with the
# Debian package check, then the same tests under AddressSanitizer +
# UndefinedBehaviorSanitizer (clang), and the fast checks of scripts/lint.sh
# (shellcheck, the manual pages, cppcheck, lintian). Fails when a test or a
# check fails or when the suite leaves a System V message queue behind.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

# The shell scripts are linted first: a finding fails the run before
# anything is built. The other fast checks of scripts/lint.sh run beside the
# builds: the manual pages and cppcheck while the release compiles, lintian
# after the package check has built the package.
scripts/lint.sh shellcheck

queues() { ipcs -q | awk '$1 ~ /^0x/ {print $2}' | sort; }
before=$(queues)

build() {
  echo "=== $1: configure and build (at ${SECONDS} s)"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
}

lint_log=$(mktemp "${TMPDIR:-/tmp}/taxapi-lint.XXXXXX")
release_log=$(mktemp "${TMPDIR:-/tmp}/taxapi-release-tests.XXXXXX")
trap 'rm -f "$lint_log" "$release_log"' EXIT
scripts/lint.sh man cppcheck >"$lint_log" 2>&1 &
lint=$!
build release
# The release tests mostly wait on the processes they start, so they run
# while the sanitizer build compiles; their report follows the build's.
(
  echo "=== release: tests"
  rc=0
  ctest --preset release || rc=1
  echo "=== release: Debian package"
  tests/package/package_test.sh build/release || rc=1
  debs=(build/release/taxapi_*_amd64.deb)
  if [ -f "${debs[0]}" ]; then
    scripts/lint.sh --deb "${debs[0]}" lintian || rc=1
  else
    echo "no package to run lintian on"
    rc=1
  fi
  exit $rc
) >"$release_log" 2>&1 &
release_tests=$!

status=0
build asan || status=1
wait "$lint" || status=1
cat "$lint_log"
wait "$release_tests" || status=1
cat "$release_log"
if [ $status -eq 0 ] || [ -x build/asan/bin/taxapi ]; then
  echo "=== asan: tests (at ${SECONDS} s)"
  ctest --preset asan || status=1
fi

after=$(queues)
left=$(comm -13 <(echo "$before") <(echo "$after") | grep -c . || true)
if [ "$left" -gt 0 ]; then
  echo "the test suite left ${left} message queue(s) behind:"
  ipcs -q
  status=1
fi
echo "=== done in ${SECONDS} s"
exit $status

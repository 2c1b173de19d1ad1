#!/usr/bin/env bash
# Builds and runs the whole test suite: the release build (GCC) with the
# Debian package check, then the same tests under AddressSanitizer +
# UndefinedBehaviorSanitizer (clang). Fails when a test fails or when the
# suite leaves a System V message queue behind.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

# Every shell script of the repository (*.sh, and files whose first line
# names sh or bash) is linted first; a finding fails the run. Sourced files
# are followed from the repository root; demo_env.sh declare themselves sh.
shell_scripts() {
  local f first
  { git ls-files --cached --others --exclude-standard 2>/dev/null ||
      find . -path ./build -prune -o -path ./.git -prune -o -type f -print | sed 's|^\./||'; } |
    while IFS= read -r f; do
      [ -f "$f" ] || continue
      first=
      IFS= read -r first <"$f" || true
      case $f in *.sh) echo "$f"; continue ;; esac
      if [[ $first =~ ^'#!'.*[/\ ](ba|da)?sh(\ |$) ]]; then echo "$f"; fi
    done
}
mapfile -t scripts < <(shell_scripts)
[ ${#scripts[@]} -gt 0 ] || { echo "no shell scripts found (not a git checkout?)"; exit 1; }
echo "=== shellcheck: ${#scripts[@]} scripts"
shellcheck -x -- "${scripts[@]}"

queues() { ipcs -q | awk '$1 ~ /^0x/ {print $2}' | sort; }
before=$(queues)

build() {
  echo "=== $1: configure and build (at ${SECONDS} s)"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
}

# The release tests mostly wait on the processes they start, so they run
# while the sanitizer build compiles; their report follows the build's.
build release
release_log=$(mktemp "${TMPDIR:-/tmp}/taxapi-release-tests.XXXXXX")
trap 'rm -f "$release_log"' EXIT
(
  echo "=== release: tests"
  rc=0
  ctest --preset release || rc=1
  echo "=== release: Debian package"
  tests/package/package_test.sh build/release || rc=1
  exit $rc
) >"$release_log" 2>&1 &
release_tests=$!

status=0
build asan || status=1
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

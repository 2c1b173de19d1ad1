#!/usr/bin/env bash
# Installs what the build and the tests need and this machine lacks
# (Debian packages only). Safe to run again: it installs nothing present.
set -euo pipefail

missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
command -v clang++ >/dev/null 2>&1 || missing+=(clang)
# clang's sanitizer runtimes (the sanitizer build is a clang build)
clang_rt=$(clang++ -print-file-name=libclang_rt.asan-x86_64.a 2>/dev/null || true)
[ -n "$clang_rt" ] && [ -f "$clang_rt" ] || missing+=(libclang-rt-14-dev)
command -v ninja >/dev/null 2>&1 || missing+=(ninja-build)
# the presets link with lld: a third of the build's time is linking
command -v ld.lld >/dev/null 2>&1 || missing+=(lld)
# the Debian package and its check: dpkg-shlibdeps, dpkg-deb, man page lint
command -v dpkg-shlibdeps >/dev/null 2>&1 || missing+=(dpkg-dev)
command -v groff >/dev/null 2>&1 || missing+=(groff-base)
# the package's changelog is compressed as Debian wants it
command -v gzip >/dev/null 2>&1 || missing+=(gzip)
# the package check: readelf for the hardening, dash for the sourced scripts,
# setpriv to act as other users
command -v readelf >/dev/null 2>&1 || missing+=(binutils)
command -v dash >/dev/null 2>&1 || missing+=(dash)
command -v setpriv >/dev/null 2>&1 || missing+=(util-linux)
# scripts/lint.sh: the shell scripts, the manual pages, the package and the
# sources (CI runs all but clang-tidy and valgrind)
command -v shellcheck >/dev/null 2>&1 || missing+=(shellcheck)
command -v mandoc >/dev/null 2>&1 || missing+=(mandoc)
command -v man >/dev/null 2>&1 || missing+=(man-db)
command -v lintian >/dev/null 2>&1 || missing+=(lintian)
command -v cppcheck >/dev/null 2>&1 || missing+=(cppcheck)
command -v clang-tidy-14 >/dev/null 2>&1 || missing+=(clang-tidy-14)
command -v valgrind >/dev/null 2>&1 || missing+=(valgrind)
command -v git >/dev/null 2>&1 || missing+=(git)
command -v make >/dev/null 2>&1 || missing+=(make)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
[ -f /usr/include/gmock/gmock.h ] || missing+=(libgmock-dev)
[ -f /usr/include/benchmark/benchmark.h ] || missing+=(libbenchmark-dev)
command -v ipcs >/dev/null 2>&1 || missing+=(util-linux)

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi

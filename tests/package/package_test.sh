#!/usr/bin/env bash
# The Debian package as a site gets it: built with cpack from a release build
# directory, unpacked into a scratch root, and asked for a Taxware and a
# Vertex request through the unpacked taxapi-client. Also lints both manual
# pages. Usage: tests/package/package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: package_test.sh BUILD_DIR}" && pwd)
root=$(mktemp -d "${TMPDIR:-/tmp}/taxapi-pkg.XXXXXX")
trap 'rm -rf "$root"' EXIT

(cd "$build" && cpack -G DEB >"$root/cpack.log" 2>&1) || { cat "$root/cpack.log"; exit 1; }
deb=$(ls "$build"/taxapi_*_amd64.deb)
info=$(dpkg-deb -I "$deb")
grep -q '^ Depends: .*libc6' <<<"$info" || { echo "no computed dependencies:"; echo "$info"; exit 1; }
dpkg-deb -x "$deb" "$root"
prefix=$root/opt/taxapi

for page in "$prefix"/share/man/man1/*.1; do
  warnings=$(groff -ww -z -man "$page" 2>&1)
  [ -z "$warnings" ] || { echo "$page: $warnings"; exit 1; }
done

# A user's own environment: logs in HOME, the product found from its bin
# directory alone.
export HOME=$root/home QSE_BIN=$prefix/bin
unset QSE QSE_SHLIB LD_LIBRARY_PATH APILOG
mkdir -p "$HOME"
. "$prefix/share/taxapi/avp/demo_env.sh" "" "$HOME/avp"
. "$prefix/share/taxapi/vertex/demo_env.sh" "" "$HOME/vertex" >/dev/null
client=$prefix/bin/taxapi-client

expect() {  # expect WHAT EXPECTED-REPLY COMMAND...
  local what=$1 want=$2; shift 2
  local out
  out=$("$@") || { echo "$what failed:"; echo "$out"; exit 1; }
  grep -qxF -- "<- $want" <<<"$out" || { echo "$what: no reply '$want' in:"; echo "$out"; exit 1; }
}
expect "Taxware tax" "6~1~1~1~1~0~" "$client" avp tax addr1_slot1=CA addr1_slot3=90411 tax144=100.00
expect "Vertex address" "7~2~1~2~3~Millbrook~BR~~110030200~Harrow County~" "$client" vertex addr city=Millbrook state=BR
echo "package check passed: $(basename "$deb")"

#!/usr/bin/env bash
# Demonstration: builds the release, starts taxapi from the ERP-side client
# with the stand-in engines and their sample data, and shows its answers.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null

bin=$root/build/release/bin
work=$(mktemp -d "${TMPDIR:-/tmp}/taxapi-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A product root of its own for the logs; the engines come from the build.
export QSE=$work/qse
mkdir -p "$QSE/log"
export QSE_SHLIB=$root/build/release/shlib
export APILOG=1
. engines/avp/demo_env.sh "$root/engines/avp/data" "$work/avp"
. engines/vertex/demo_env.sh "$root/engines/vertex/data" "$work/vertex" >/dev/null

step() { printf '\n=== %s\n' "$*"; }
client() { printf '$ taxapi-client %s\n' "$*"; "$bin/taxapi-client" "$@" || true; }

step "Release information (taxapi -v)"
"$bin/taxapi" -v 2>&1

step "Start-up, a data message outside a request (error code 8), terminate"
client --stype 1 raw "9~1~1~1~1~"

if [ -f demo/requests.sh ]; then
  . demo/requests.sh
fi

step "The API log of these runs ($QSE/log/log.api), last entry"
tail -n 6 "$QSE/log/log.api"

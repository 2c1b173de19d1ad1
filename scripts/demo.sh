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

step "Taxware (sub-provider 1): tax for 100.00 shipped to San Albero, CA 90411"
client avp tax addr1_slot1=CA "addr1_slot2=SAN ALBERO" addr1_slot3=90411 \
  tax144=100.00 tax268=WIDGET tax783=INV-1001

step "Taxware: address lookup of ZIP 90412, CA (two candidates)"
client avp addr state=CA zip=90412

step "Taxware: a ship-to state the engine does not know (jurisdiction error 1399.x)"
client avp tax addr1_slot1=ZZ addr1_slot3=99999 tax144=100.00 tax783=INV-1002

step "Vertex (sub-provider 2): tax for 250.00 shipped to Millbrook, BR (geo 110010100)"
client vertex tax ship_to_city=Millbrook ship_to_state=BR ship_to_geo=110010100 \
  line_kind=2 line_amount=250.00 transaction_type=1 product_code=TOOLS-1 \
  customer_1=ACME invoice_number=INV-2001 line_number=1 company_code=C01

step "Vertex: address lookup of Millbrook, BR (three candidates)"
client vertex addr city=Millbrook state=BR

step "Is the Vertex engine installed and able to serve?"
client check vertex

step "Replay of the sample Taxware requests, recorded"
printf '$ taxapi-client replay --record avp.rec peer/requests/avp.txt; head avp.rec\n'
"$bin/taxapi-client" replay --record "$work/avp.rec" peer/requests/avp.txt >/dev/null || true
head -n 14 "$work/avp.rec"

step "What an error code from a support ticket means"
client explain 1399.1001 1600.0100 1113

step "Taxware audit journal ($AVPAUDIT)"
cat "$AVPAUDIT"

step "The API log of these runs ($QSE/log/log.api), last entry"
tail -n 6 "$QSE/log/log.api"

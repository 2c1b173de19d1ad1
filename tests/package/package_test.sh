#!/usr/bin/env bash
# The Debian package as a site gets it: built with cpack from a release build
# directory, unpacked into a scratch root, and asked for Taxware and Vertex
# requests through the unpacked taxapi-client. Checks the hardening of what it
# ships, its modes (a shared log/ like /tmp, the sourced scripts as plain
# files) and both engines' environment scripts under dash and bash; then, when
# run as root, three users at once in the shared tree, each logging into a
# directory of its own below log/, and one user with a tree of its own. Also
# lints both manual pages. Usage: tests/package/package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: package_test.sh BUILD_DIR}" && pwd)
root=$(mktemp -d "${TMPDIR:-/tmp}/taxapi-pkg.XXXXXX")
uids=() pids=()
cleanup() {
  local pid uid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  # The test's users have no account: ipcs names their queues' owner by uid.
  for uid in "${uids[@]}"; do
    ipcs -q | awk -v u="$uid" '$3 == u {print $2}' | xargs -r -n1 ipcrm -q 2>/dev/null || true
  done
  rm -rf "$root"
}
trap cleanup EXIT
fail() { echo "$*"; exit 1; }

(cd "$build" && cpack -G DEB >"$root/cpack.log" 2>&1) || { cat "$root/cpack.log"; exit 1; }
deb=$(ls "$build"/taxapi_*_amd64.deb)
info=$(dpkg-deb -I "$deb")
grep -q '^ Depends: .*libc6' <<<"$info" || fail "no computed dependencies:" $'\n'"$info"
contents=$(dpkg-deb -c "$deb")
grep -qE '^drwxrwxrwt .* \./opt/taxapi/log/$' <<<"$contents" || fail "log/ is not 1777 in the package:" $'\n'"$contents"
for engine in avp vertex; do
  grep -qE "^-rw-r--r-- .* \./opt/taxapi/share/taxapi/$engine/demo_env\.sh$" <<<"$contents" ||
    fail "$engine/demo_env.sh is not a plain 0644 file in the package:" $'\n'"$contents"
done
dpkg-deb -x "$deb" "$root"
prefix=$root/opt/taxapi

for page in "$prefix"/share/man/man1/*.1; do
  warnings=$(groff -ww -z -man "$page" 2>&1)
  [ -z "$warnings" ] || fail "$page: $warnings"
done

# Hardening: full RELRO everywhere; the programs PIE, stack-protected and
# fortified (a fortified libc call shows as its __*_chk variant).
for file in "$prefix"/bin/taxapi "$prefix"/bin/taxapi-client "$prefix"/shlib/*.so; do
  elf=$(readelf -W --file-header --program-headers --dynamic --dyn-syms "$file")
  grep -q ' GNU_RELRO ' <<<"$elf" || fail "$file: no GNU_RELRO segment"
  grep -qE '\(FLAGS\) +.*BIND_NOW|\(FLAGS_1\) +Flags:.* NOW' <<<"$elf" || fail "$file: not linked with -z now"
  case $file in */shlib/*) continue ;; esac
  grep -qE '^ +Type: +DYN ' <<<"$elf" || fail "$file: not a PIE"
  grep -qE ' __stack_chk_fail(@|$)' <<<"$elf" || fail "$file: no stack protector"
  [[ $file != */taxapi ]] || grep -qE ' __[a-z0-9_]+_chk(@|$)' <<<"$elf" || fail "$file: nothing fortified"
done

# The environment scripts, sourced by dash and by bash with the same
# arguments (an empty DATA_DIR: found beside the script by bash, through QSE
# by dash); each variable must name an existing file or directory.
declare -A wants=(
  [avp]="f:ZIPIN f:AVPIN f:STEPIN p:AVPAUDIT d:AVPOUT d:AVPTEMP d:ZIPOUT d:ZIPTEMP d:STEPOUT d:STEPTEMP"
  [vertex]="d:VERTEXSERVER f:VERTEXGEO f:VERTEXRATE f:VERTEXTDM p:VERTEXREG")
# shellcheck disable=SC2016 # expanded by the shell under test
sourced='script=$1; shift; . "$script" >/dev/null && env'
for sh in dash bash; do
  for engine in avp vertex; do
    script=$prefix/share/taxapi/$engine/demo_env.sh
    env=$(env -i PATH="$PATH" QSE="$prefix" "$sh" -c "$sourced" "$sh" "$script" "" "$root/env-$sh/$engine") ||
      fail "$sh: sourcing $engine/demo_env.sh failed"
    for want in ${wants[$engine]}; do
      name=${want#*:} value=$(sed -n "s/^${want#*:}=//p" <<<"$env")
      case $want in
        f:*) [ -f "$value" ] ;; d:*) [ -d "$value" ] ;; p:*) [ -d "$(dirname "$value")" ] ;;
      esac || fail "$sh, $engine/demo_env.sh: $name='$value' names nothing there"
    done
    # dash cannot tell where the script lies: without DATA_DIR and QSE it
    # must say so and export nothing.
    if env=$(env -i PATH="$PATH" dash -c "$sourced" dash "$script" "" "$root/env-none" 2>"$root/err"); then
      fail "dash: $engine/demo_env.sh without its data returned 0"
    fi
    [ "$(wc -l <"$root/err")" -eq 1 ] || fail "dash: $engine/demo_env.sh without its data said:" $'\n'"$(cat "$root/err")"
    ! grep -qE '^(ZIPIN|VERTEXGEO)=' <<<"$env" || fail "dash: $engine/demo_env.sh exported without its data"
  done
done

expect() {  # expect WHAT EXPECTED-REPLY COMMAND...
  local what=$1 want=$2; shift 2
  local out
  out=$("$@") || { echo "$what failed:"; echo "$out"; exit 1; }
  grep -qxF -- "<- $want" <<<"$out" || { echo "$what: no reply '$want' in:"; echo "$out"; exit 1; }
}

# A user's own environment: logs in HOME, the product found from its bin
# directory alone.
export HOME=$root/home QSE_BIN=$prefix/bin
unset QSE QSE_SHLIB LD_LIBRARY_PATH APILOG
mkdir -p "$HOME"
# shellcheck source=/dev/null
. "$prefix/share/taxapi/avp/demo_env.sh" "" "$HOME/avp"
# shellcheck source=/dev/null
. "$prefix/share/taxapi/vertex/demo_env.sh" "" "$HOME/vertex" >/dev/null
client=$prefix/bin/taxapi-client
expect "Taxware tax" "6~1~1~1~1~0~" "$client" avp tax addr1_slot1=CA addr1_slot3=90411 tax144=100.00
expect "Vertex address" "7~2~1~2~3~Millbrook~BR~~110030200~Harrow County~" "$client" vertex addr city=Millbrook state=BR

if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null; then
  echo "package check: not root or no setpriv, so the checks with several users are skipped"
  echo "package check passed: $(basename "$deb")"
  exit 0
fi

# One user's session: both engine checks, a tax and an address request of
# each engine, every log on. With GATE, it waits after the first check until
# that file appears. Runs as the user, in an empty environment.
session() {  # session PREFIX [GATE]
  set -euo pipefail
  local tree=$1 gate=${2:-} client=$1/bin/taxapi-client
  set -- "" "$HOME/avp"
  # shellcheck source=/dev/null
  . "$tree/share/taxapi/avp/demo_env.sh"
  set -- "" "$HOME/vertex"
  # shellcheck source=/dev/null
  . "$tree/share/taxapi/vertex/demo_env.sh" >/dev/null
  "$client" check avp >/dev/null || { echo "check avp failed"; "$client" check avp; exit 1; }
  if [ -n "$gate" ]; then
    : >"$HOME/ready"
    for _ in $(seq 300); do [ -e "$gate" ] && break; sleep 0.1; done
    [ -e "$gate" ] || { echo "no go after 30 s"; exit 1; }
  fi
  "$client" check vertex >/dev/null || { echo "check vertex failed"; "$client" check vertex; exit 1; }
  expect "Taxware tax" "6~1~1~1~1~0~" "$client" avp tax addr1_slot1=CA addr1_slot3=90411 tax144=100.00
  expect "Taxware address" "6~2~1~1~2~29~" "$client" avp addr state=CA zip=90412
  expect "Vertex tax" "6~1~1~2~1~0~" "$client" vertex tax ship_to_city=Millbrook ship_to_state=BR \
    ship_to_geo=110010100 line_kind=2 line_amount=250.00 transaction_type=1
  expect "Vertex address" "7~2~1~2~3~Millbrook~BR~~110030200~Harrow County~" "$client" vertex addr city=Millbrook state=BR
}
as_user() {  # as_user UID COMMAND...  (no account: no groups, no passwd entry)
  local uid=$1; shift
  setpriv --reuid="$uid" --regid="$uid" --clear-groups "$@"
}
start_session() {  # start_session UID GATE VAR=VALUE...: in the background, output in $root/out.UID
  local uid=$1 gate=$2 home=$root/users/$1; shift 2
  mkdir -p "$home"
  chown "$uid:$uid" "$home"
  as_user "$uid" env -i PATH=/usr/bin:/bin HOME="$home" APILOG=2 AVPDEBUG= VERTEXDEBUG=1 "$@" \
    bash -c "$(declare -f expect session); session \"\$@\"" session "$prefix" "$gate" >"$root/out.$uid" 2>&1 &
  pids+=($!)
}
finish() {  # finish UID PID
  wait "$2" || fail "user $1's session failed:" $'\n'"$(cat "$root/out.$1")"
}
logs_in() {  # logs_in UID DIR: the user's four logs there, written, 0600 and the user's
  local uid=$1 dir=$2 f
  for f in log.api api_msg.log avp.log vertex.log; do
    [ -s "$dir/$f" ] || fail "$dir/$f: missing or empty; there: $(ls -la "$dir")"
    [ "$(stat -c '%a %u' "$dir/$f")" = "600 $uid" ] || fail "$dir/$f: $(stat -c '%A %u' "$dir/$f"), not 0600 and user $uid's"
  done
}

# Three uids without an account, unique to this run (runs may overlap on a
# machine: the uids come from this shell's process id).
base=$((600000 + ($$ % 100000) * 4))
for uid in $((base + 1)) $((base + 2)) $((base + 3)); do
  ! getent passwd "$uid" >/dev/null || fail "uid $uid has an account; no free uids for the test"
  uids+=("$uid")
done
a=${uids[0]} b=${uids[1]} c=${uids[2]}

# The shared tree, as installed: QSE names it and log/ is root's, 1777.
chmod 755 "$root"
[ "$(stat -c %a "$prefix/log")" = 1777 ] || fail "$prefix/log unpacked as $(stat -c %a "$prefix/log"), not 1777"
as_user "$a" test -x "$prefix/bin/taxapi" || fail "$prefix/bin/taxapi cannot be reached by other users (TMPDIR?)"
gate=$root/go
start_session "$a" "$gate" QSE="$prefix"
start_session "$b" "$gate" QSE="$prefix"
for i in $(seq 300); do
  [ -e "$root/users/$a/ready" ] && [ -e "$root/users/$b/ready" ] && break
  sleep 0.1
done
if ! [ -e "$root/users/$a/ready" ] || ! [ -e "$root/users/$b/ready" ]; then
  fail "users $a and $b did not get going in $i tries:" $'\n'"$(cat "$root/out.$a" "$root/out.$b")"
fi
start_session "$c" "" QSE="$prefix"  # while the other two wait for the gate
: >"$gate"
finish "$a" "${pids[0]}"
finish "$b" "${pids[1]}"
finish "$c" "${pids[2]}"
pids=()
for uid in "$a" "$b" "$c"; do
  dir=$prefix/log/$uid
  [ "$(stat -c '%a %u' "$dir")" = "700 $uid" ] || fail "$dir: $(stat -c '%A %u' "$dir"), not 0700 and user $uid's"
  logs_in "$uid" "$dir"
done
there=$(find "$prefix/log" -mindepth 1 -maxdepth 1 -printf '%f ' | tr ' ' '\n' | sort | tr '\n' ' ')
[ "$there" = "$a $b $c " ] || fail "the shared log/ holds more than the users' directories: $there"
if as_user "$a" cat "$prefix/log/$b/log.api" >/dev/null 2>&1; then
  fail "user $a can read user $b's log"
fi

# A tree of the user's own (log/ theirs), the engines from the package:
# the logs straight in its log/.
own=$root/users/$a/qse
mkdir -p "$own/log"
chown -R "$a:$a" "$own"
start_session "$a" "" QSE="$own" QSE_SHLIB="$prefix/shlib"
finish "$a" "${pids[-1]}"
logs_in "$a" "$own/log"
[ -z "$(find "$own/log" -mindepth 1 -type d)" ] || fail "$own/log has subdirectories: $(ls -la "$own/log")"

echo "package check passed: $(basename "$deb")"

#!/usr/bin/env bash
# The checks beside the tests. Each ends clean or fails the run; what a check
# lets pass is said where it is let pass (.clang-tidy, inline suppressions
# with their reasons, cmake/debian/lintian-overrides).
#
#   - shellcheck   every shell script of the repository
#   - man          both manual pages: mandoc -Tlint and man --warnings
#   - cppcheck     lib/, peer/, engines/, version/ (compile database of build/lint)
#   - lintian      the Debian package cpack builds from build/release
#   - clang-tidy   the same sources as cppcheck, with .clang-tidy
#   - valgrind     taxapi under memcheck for the sample replays of both
#                  stand-in engines: no memory error, no definite or indirect
#                  leak, no descriptor that taxapi did not open itself
#
# Usage: scripts/lint.sh [--deb FILE] [CHECK...]   (no CHECK: all of them)
# --deb names a package already built, so lintian does not run cpack.
# lintian and valgrind build the release first (nothing when it is up to
# date); cppcheck and clang-tidy only configure build/lint (the `lint`
# preset: no unity build, so the database names the sources themselves).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

all=(shellcheck man cppcheck lintian clang-tidy valgrind)
deb=
checks=()
while [ $# -gt 0 ]; do
  case $1 in
    --deb) deb=${2:?--deb needs a file}; shift 2 ;;
    -h|--help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    -*) echo "lint.sh: unknown option $1" >&2; exit 2 ;;
    *) checks+=("$1"); shift ;;
  esac
done
[ ${#checks[@]} -gt 0 ] || checks=("${all[@]}")
for c in "${checks[@]}"; do
  case " ${all[*]} " in *" $c "*) ;; *) echo "lint.sh: no check '$c' (${all[*]})" >&2; exit 2 ;; esac
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/taxapi-lint.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# Every shell script of the repository (*.sh, and files whose first line
# names sh or bash). Sourced files are followed from the repository root;
# demo_env.sh declare themselves sh.
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

check_shellcheck() {
  local scripts
  mapfile -t scripts < <(shell_scripts)
  [ ${#scripts[@]} -gt 0 ] || { echo "no shell scripts found (not a git checkout?)"; return 1; }
  echo "${#scripts[@]} scripts"
  shellcheck -x -- "${scripts[@]}"
}

check_man() {
  local page warnings status=0
  # -Tlint reports every level down to style and exits non-zero on any.
  mandoc -Tlint man/*.1 || status=1
  for page in man/*.1; do
    warnings=$(MANWIDTH=80 man --warnings -l -E UTF-8 "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
      echo "$page: $warnings"
      status=1
    fi
  done
  return $status
}

configure_lint() {
  cmake --preset lint >/dev/null
}

check_cppcheck() {
  configure_lint
  # style on as well: it found a dead store and a dead table column. Off:
  #   useStlAlgorithm  every raw loop over the C structures and tables; the
  #                    loops stay as plain as the code around them.
  #   readdirCalled    readdir_r is deprecated by glibc; each directory
  #                    stream is read by one thread.
  # information on, so a suppression that no longer matches fails the run.
  cppcheck --project=build/lint/compile_commands.json --std=c++20 --library=posix \
    --enable=warning,style,performance,portability,information --inline-suppr --error-exitcode=1 \
    --suppress=useStlAlgorithm --suppress=readdirCalled \
    -j 2 -q --template='{file}:{line}: {severity}({id}): {message}'
}

check_clang_tidy() {
  configure_lint
  local files out=$scratch/clang-tidy status=0
  mkdir -p "$out"
  mapfile -t files < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' build/lint/compile_commands.json)
  [ ${#files[@]} -gt 0 ] || { echo "no sources in build/lint/compile_commands.json"; return 1; }
  echo "${#files[@]} sources"
  # One clang-tidy per file, two at a time: clang-tidy 14 given several files
  # in one run carries its va_list analysis from one into the next and
  # reports an uninitialised va_list right after va_start. Every finding is an
  # error (WarningsAsErrors in .clang-tidy), so a file with one fails xargs.
  # shellcheck disable=SC2016 # expanded by the sh that xargs starts
  printf '%s\n' "${files[@]}" |
    xargs -P 2 -I{} sh -c 'clang-tidy-14 -p build/lint --quiet "$1" >"$2/$(printf %s "$1" | tr / _).txt" 2>&1' \
      sh {} "$out" || status=1
  # The findings alone, without clang's counts of the warnings it did not show.
  grep -h -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' "$out"/*.txt || true
  return $status
}

build_release() {
  cmake --preset release >/dev/null
  cmake --build --preset release >"$scratch/build.log" 2>&1 || { cat "$scratch/build.log"; return 1; }
}

check_lintian() {
  local package=$deb
  if [ -z "$package" ]; then
    build_release
    (cd build/release && cpack -G DEB) >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; return 1; }
    local debs=(build/release/taxapi_*_amd64.deb)
    package=${debs[0]}
  fi
  echo "$package"
  # Every level down to pedantic fails; the package's own overrides
  # (usr/share/lintian/overrides/taxapi) say why each tag that stays is meant.
  lintian --tag-display-limit 0 --display-info --display-experimental --pedantic \
    --fail-on error,warning,info,pedantic,experimental "$package"
}

# One replay file through taxapi-client with taxapi under memcheck. The
# replies must match those of the same replay without valgrind; every
# valgrind log must show no error and list no descriptor beyond 0, 1, 2, its
# own log and the logs taxapi keeps open by design.
replay_under_valgrind() {  # replay_under_valgrind ENGINE REQUESTS
  local engine=$1 requests=$2 dir=$scratch/$1 client=$root/build/release/bin/taxapi-client
  mkdir -p "$dir/plain" "$dir/valgrind"
  cat >"$dir/taxapi" <<EOF
#!/bin/sh
exec valgrind --tool=memcheck --error-exitcode=97 --leak-check=full \\
  --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect \\
  --track-fds=yes --log-file="$dir/valgrind.%p.log" "$root/build/release/bin/taxapi" "\$@"
EOF
  chmod +x "$dir/taxapi"
  # A subshell with no descriptor beyond 0, 1 and 2: whatever else reaches
  # taxapi came from taxapi-client.
  (
    local fd
    for fd in /proc/"$BASHPID"/fd/*; do
      fd=${fd##*/}
      [ "$fd" -le 2 ] || exec {fd}>&-
    done
    exec </dev/null
    unset QSE QSE_BIN LD_LIBRARY_PATH TAXAPI_QUEUE_MODE TARN_API_TIMEOUT CONFIGSPEC
    export QSE_SHLIB=$root/build/release/shlib APILOG=2 AVPDEBUG='' VERTEXDEBUG=1 USER=lint
    # Each run has its own logs (HOME) and engine work directories, and its
    # working directory takes taxapi's dump file.
    run() {  # run plain|valgrind CLIENT-ARGUMENT...
      local run=$1; shift
      export HOME=$dir/$run/home
      mkdir -p "$HOME"
      cd "$dir/$run"
      # shellcheck source=engines/avp/demo_env.sh
      . "$root/engines/avp/demo_env.sh" "$root/engines/avp/data" "$dir/$run/avp"
      # shellcheck source=engines/vertex/demo_env.sh
      . "$root/engines/vertex/demo_env.sh" "$root/engines/vertex/data" "$dir/$run/vertex" >/dev/null
      "$client" "$@" >"$dir/$run.out" 2>&1
    }
    # The sample files ask for errors too, so the client's status says little
    # here: the record is the reference.
    run plain replay --record "$dir/replies.rec" "$root/$requests" || true
    [ -s "$dir/replies.rec" ] || { echo "$engine: the replay without valgrind recorded nothing:"; cat "$dir/plain.out"; exit 1; }
    # Each reply is slower under valgrind: the client's wait and taxapi's
    # own receive time-out are raised.
    run valgrind --taxapi "$dir/taxapi" --timeout 60000 --env TARN_API_TIMEOUT=100000 \
      replay --expect "$dir/replies.rec" "$root/$requests" ||
      { echo "$engine: the replies under valgrind differ from those without:"; cat "$dir/valgrind.out"; exit 1; }
  ) || return 1

  local log logs status=0
  logs=("$dir"/valgrind.*.log)
  [ -e "${logs[0]}" ] || { echo "$engine: no valgrind log: taxapi did not run under valgrind"; return 1; }
  for log in "${logs[@]}"; do
    if ! grep -q 'ERROR SUMMARY: 0 errors' "$log"; then
      echo "$engine: memcheck found errors:"; cat "$log"; status=1; continue
    fi
    # The FILE DESCRIPTORS report: a descriptor and its path on one line,
    # where it was opened (or "<inherited from parent>") on the next.
    local bad
    bad=$(awk -v self="$log" -v logdir="$dir/valgrind/home" '
      /== Open [^0-9]*[0-9]+:/ {
        line = $0; sub(/.*== Open [^0-9]*/, "", line)
        fd = line; sub(/:.*/, "", fd); path = line; sub(/^[0-9]+: ?/, "", path)
        getline origin
        if (fd + 0 <= 2 || path == self) next
        n = split(path, part, "/"); dir = substr(path, 1, length(path) - length(part[n]) - 1)
        if (origin !~ /inherited from parent/ && dir == logdir &&
            part[n] ~ /^(log\.api|api_msg\.log|avp\.log|vertex\.log)$/) next
        print "descriptor " fd " (" path "): " (origin ~ /inherited/ ? "inherited from taxapi-client" : "opened by taxapi, not a log")
      }' "$log")
    if [ -n "$bad" ]; then
      echo "$engine: $bad"; cat "$log"; status=1
    fi
  done
  echo "$engine: ${#logs[@]} taxapi process(es) clean, replies as without valgrind"
  return $status
}

check_valgrind() {
  build_release
  local status=0
  replay_under_valgrind avp peer/requests/avp.txt || status=1
  replay_under_valgrind vertex peer/requests/vertex.txt || status=1
  return $status
}

failed=()
for c in "${checks[@]}"; do
  echo "=== lint: $c"
  start=$SECONDS
  if "check_${c//-/_}"; then
    echo "--- $c clean ($((SECONDS - start)) s)"
  else
    echo "--- $c: FINDINGS ($((SECONDS - start)) s)"
    failed+=("$c")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "lint: findings in ${failed[*]}"
  exit 1
fi
echo "lint: ${checks[*]} clean"

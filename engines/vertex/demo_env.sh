# shellcheck shell=sh
# Environment for running taxapi with the stand-in Vertex engine. Sourced by
# sh or bash alike:
#
#   set -- [DATA_DIR [WORK_DIR]]; . engines/vertex/demo_env.sh
#   . engines/vertex/demo_env.sh [DATA_DIR [WORK_DIR]]     # bash, or set -- first
#
# sh's "." passes no arguments: the script reads the positional parameters of
# the shell that sources it, hence the `set --`.
#
# DATA_DIR holds location.dat, rate.dat and tdm.dat. When it is empty: the
# sample data beside this script (only bash tells a sourced script where it
# lies), else $QSE/share/taxapi/vertex/data (an installed tree). The register
# is written to WORK_DIR/register.dat (default: a new temporary directory).
# When the data or the work directory cannot be had, one line on standard
# error says why, nothing is exported and the status is 1.

vtx_env_data=${1:-}
vtx_env_work=${2:-}
vtx_env_error=
if [ -z "$vtx_env_data" ]; then
  # shellcheck disable=SC3028 # bash's own name of this file; empty under sh
  vtx_env_here=${BASH_SOURCE:-}
  for vtx_env_try in ${vtx_env_here:+"$(dirname -- "$vtx_env_here")/data"} ${QSE:+"$QSE/share/taxapi/vertex/data"}; do
    if [ -f "$vtx_env_try/location.dat" ]; then
      vtx_env_data=$vtx_env_try
      break
    fi
  done
  [ -n "$vtx_env_data" ] ||
    vtx_env_error="cannot tell where the Vertex sample data lies: give DATA_DIR (set -- DATA_DIR [WORK_DIR] before sourcing) or set QSE"
fi
if [ -z "$vtx_env_error" ]; then
  if ! [ -r "$vtx_env_data/location.dat" ] || ! [ -r "$vtx_env_data/rate.dat" ] ||
     ! [ -r "$vtx_env_data/tdm.dat" ] || ! vtx_env_data=$(CDPATH='' cd -- "$vtx_env_data" && pwd); then
    vtx_env_error="no location.dat, rate.dat and tdm.dat readable in '$vtx_env_data'"
  elif [ -z "$vtx_env_work" ] && ! vtx_env_work=$(mktemp -d "${TMPDIR:-/tmp}/vtxdemo.XXXXXX" 2>/dev/null); then
    vtx_env_error="cannot make a temporary work directory (give WORK_DIR)"
  elif ! mkdir -p -- "$vtx_env_work" 2>/dev/null || ! vtx_env_work=$(CDPATH='' cd -- "$vtx_env_work" && pwd); then
    vtx_env_error="cannot make the work directory '$vtx_env_work' (give WORK_DIR)"
  fi
fi

if [ -z "$vtx_env_error" ]; then
  export VERTEXSERVER="$vtx_env_data"
  export VERTEXUSER=demo
  export VERTEXPWD=demo
  export VERTEXGEO="$vtx_env_data/location.dat"
  export VERTEXRATE="$vtx_env_data/rate.dat"
  export VERTEXTDM="$vtx_env_data/tdm.dat"
  export VERTEXREG="$vtx_env_work/register.dat"
  echo "Vertex stand-in: data $vtx_env_data, register $VERTEXREG"
fi
unset vtx_env_data vtx_env_work vtx_env_here vtx_env_try
if [ -n "$vtx_env_error" ]; then
  printf 'vertex/demo_env.sh: %s\n' "$vtx_env_error" >&2
  unset vtx_env_error
  return 1
fi
unset vtx_env_error

# shellcheck shell=sh
# Sets the ten variables of the stand-in Taxware engine. Sourced by sh or
# bash alike:
#
#   set -- [DATA_DIR [WORK_DIR]]; . engines/avp/demo_env.sh
#   . engines/avp/demo_env.sh [DATA_DIR [WORK_DIR]]        # bash, or set -- first
#
# sh's "." passes no arguments: the script reads the positional parameters of
# the shell that sources it, hence the `set --`.
#
# DATA_DIR holds zipmaster.txt, rates.txt and exempt.txt. When it is empty:
# AVP_DATA_DIR, else the sample data beside this script (only bash tells a
# sourced script where it lies), else $QSE/share/taxapi/avp/data (an
# installed tree). WORK_DIR (default AVP_WORK_DIR, else $HOME/avp_work)
# receives the audit journal and the output and temporary directories and is
# created. Both are made absolute, so the variables stay valid after a change
# of directory. When the data or the work directory cannot be had, one line
# on standard error says why, nothing is exported and the status is 1.

avp_env_data=${1:-${AVP_DATA_DIR:-}}
avp_env_work=${2:-${AVP_WORK_DIR:-${HOME:+$HOME/avp_work}}}
avp_env_error=
if [ -z "$avp_env_data" ]; then
  # shellcheck disable=SC3028 # bash's own name of this file; empty under sh
  avp_env_here=${BASH_SOURCE:-}
  for avp_env_try in ${avp_env_here:+"$(dirname -- "$avp_env_here")/data"} ${QSE:+"$QSE/share/taxapi/avp/data"}; do
    if [ -f "$avp_env_try/zipmaster.txt" ]; then
      avp_env_data=$avp_env_try
      break
    fi
  done
  [ -n "$avp_env_data" ] ||
    avp_env_error="cannot tell where the Taxware sample data lies: give DATA_DIR (set -- DATA_DIR [WORK_DIR] before sourcing) or set QSE"
fi
if [ -z "$avp_env_error" ]; then
  if ! [ -r "$avp_env_data/zipmaster.txt" ] || ! [ -r "$avp_env_data/rates.txt" ] ||
     ! [ -r "$avp_env_data/exempt.txt" ] || ! avp_env_data=$(CDPATH='' cd -- "$avp_env_data" && pwd); then
    avp_env_error="no zipmaster.txt, rates.txt and exempt.txt readable in '$avp_env_data'"
  elif [ -z "$avp_env_work" ] ||
       ! mkdir -p -- "$avp_env_work/avpout" "$avp_env_work/avptemp" "$avp_env_work/zipout" \
                     "$avp_env_work/ziptemp" "$avp_env_work/stepout" "$avp_env_work/steptemp" 2>/dev/null ||
       ! avp_env_work=$(CDPATH='' cd -- "$avp_env_work" && pwd); then
    avp_env_error="cannot make the work directory '$avp_env_work' (give WORK_DIR)"
  fi
fi

if [ -z "$avp_env_error" ]; then
  export ZIPIN="$avp_env_data/zipmaster.txt"
  export AVPIN="$avp_env_data/rates.txt"
  export STEPIN="$avp_env_data/exempt.txt"
  export AVPAUDIT="$avp_env_work/avp_audit.log"
  export AVPOUT="$avp_env_work/avpout"
  export AVPTEMP="$avp_env_work/avptemp"
  export ZIPOUT="$avp_env_work/zipout"
  export ZIPTEMP="$avp_env_work/ziptemp"
  export STEPOUT="$avp_env_work/stepout"
  export STEPTEMP="$avp_env_work/steptemp"
fi
unset avp_env_data avp_env_work avp_env_here avp_env_try
if [ -n "$avp_env_error" ]; then
  printf 'avp/demo_env.sh: %s\n' "$avp_env_error" >&2
  unset avp_env_error
  return 1
fi
unset avp_env_error

#!/bin/sh
# Sets the ten variables of the stand-in Taxware engine.
#
#   . engines/avp/demo_env.sh [DATA_DIR [WORK_DIR]]
#
# DATA_DIR holds zipmaster.txt, rates.txt and exempt.txt (default: the sample
# data beside this script, under bash); WORK_DIR receives the
# audit journal and the output and temporary directories (default
# $HOME/avp_work) and is created. Both are made absolute, so the variables
# stay valid after a change of directory. Shells whose "." passes no
# arguments take AVP_DATA_DIR and AVP_WORK_DIR instead.

avp_here=$(dirname "${BASH_SOURCE[0]:-engines/avp/demo_env.sh}")
avp_data=${1:-${AVP_DATA_DIR:-$avp_here/data}}
avp_work=${2:-${AVP_WORK_DIR:-$HOME/avp_work}}
mkdir -p "$avp_work"
avp_data=$(cd "$avp_data" && pwd)
avp_work=$(cd "$avp_work" && pwd)

export ZIPIN="$avp_data/zipmaster.txt"
export AVPIN="$avp_data/rates.txt"
export STEPIN="$avp_data/exempt.txt"
export AVPAUDIT="$avp_work/avp_audit.log"
export AVPOUT="$avp_work/avpout"
export AVPTEMP="$avp_work/avptemp"
export ZIPOUT="$avp_work/zipout"
export ZIPTEMP="$avp_work/ziptemp"
export STEPOUT="$avp_work/stepout"
export STEPTEMP="$avp_work/steptemp"
mkdir -p "$AVPOUT" "$AVPTEMP" "$ZIPOUT" "$ZIPTEMP" "$STEPOUT" "$STEPTEMP"
unset avp_here avp_data avp_work

# Environment for running taxapi with the stand-in Vertex engine.
#
#   . engines/vertex/demo_env.sh [DATA_DIR] [WORK_DIR]
#
# DATA_DIR holds location.dat, rate.dat and tdm.dat (default: the sample data
# beside this script); the register is written to WORK_DIR/register.dat
# (default: a new temporary directory).
vtx_demo_here=$(cd "$(dirname "${BASH_SOURCE[0]:-$0}")" && pwd)
vtx_demo_data=$(cd "${1:-$vtx_demo_here/data}" && pwd)
vtx_demo_work=${2:-$(mktemp -d "${TMPDIR:-/tmp}/vtxdemo.XXXXXX")}
mkdir -p "$vtx_demo_work"

export VERTEXSERVER="$vtx_demo_data"
export VERTEXUSER=demo
export VERTEXPWD=demo
export VERTEXGEO="$vtx_demo_data/location.dat"
export VERTEXRATE="$vtx_demo_data/rate.dat"
export VERTEXTDM="$vtx_demo_data/tdm.dat"
export VERTEXREG="$vtx_demo_work/register.dat"
echo "Vertex stand-in: data $vtx_demo_data, register $VERTEXREG"
unset vtx_demo_here vtx_demo_data vtx_demo_work

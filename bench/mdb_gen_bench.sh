#!/bin/sh
# Benchmark of the .mdb writer: writes the generated one-table file of ROWS rows (one
# million by default) RUNS times, prints rows per second, file size and peak memory of
# each run, and checks the row count with mdbtools when it is installed.
#
#   bench/mdb_gen_bench.sh BUILD_DIR [ROWS] [RUNS]
set -eu
build=${1:?usage: mdb_gen_bench.sh BUILD_DIR [ROWS] [RUNS]}
rows=${2:-1000000}
runs=${3:-3}
tool="$build/bin/tablewright-mdb-write"
[ -x "$tool" ] || { echo "missing $tool (build the target tablewright-mdb-write)" >&2; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT INT TERM
i=1
while [ "$i" -le "$runs" ]; do
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f "  peak memory %M KB" "$tool" --generate "$rows" "$dir/bench.mdb" 2>&1
  else
    "$tool" --generate "$rows" "$dir/bench.mdb"
  fi
  i=$((i + 1))
done
if command -v mdb-count >/dev/null 2>&1; then
  counted=$(mdb-count "$dir/bench.mdb" Measurements)
  echo "mdb-count: $counted rows"
  [ "$counted" = "$rows" ] || { echo "row count mismatch" >&2; exit 1; }
fi

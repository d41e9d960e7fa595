#!/usr/bin/env bash
# Classic against native tables: writes the one-million-row benchmark file with the
# project's writer, converts it into two empty folders, once as classic tables and once
# with --native, and prints the time, the peak memory and the size of the files each
# conversion wrote (the table's .dbf and .fpt: the generated file has no keys).
# Goals: native no slower than classic, and its table at least 3x smaller.
#   bench/native_bench.sh [BUILD_DIR] [ROWS]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
rows=${2:-1000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bin/tablewright-mdb-write" --generate "$rows" "$work/big.mdb" >/dev/null
echo "source: $rows rows, $(du -h "$work/big.mdb" | cut -f1)"

# Converts into a new folder under /usr/bin/time; prints "seconds max_rss_kb bytes".
convert() {
  local out="$work/$1"
  shift
  mkdir "$out"
  /usr/bin/time -f "%e %M" -o "$work/time" "$build/bin/tablewright-convert" -q "$@" "$work/big.mdb" "$out" \
    2>"$work/stderr" || { echo "conversion failed: $*" >&2; tail -5 "$work/stderr" >&2; exit 1; }
  echo "$(cat "$work/time") $(cat "$out"/* | wc -c)"
}

read -r t_classic m_classic b_classic < <(convert classic --classic)
read -r t_native m_native b_native < <(convert native --native)

printf '%-10s %8s s %10s KB peak %14s bytes\n' classic "$t_classic" "$m_classic" "$b_classic"
printf '%-10s %8s s %10s KB peak %14s bytes\n' native "$t_native" "$m_native" "$b_native"
awk -v tc="$t_classic" -v tn="$t_native" -v bc="$b_classic" -v bn="$b_native" 'BEGIN {
  printf "native / classic time: %.2fx (goal <= 1x)\n", tn / tc;
  printf "classic / native size: %.2fx (goal >= 3x)\n", bc / bn;
}'

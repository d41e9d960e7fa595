#!/usr/bin/env bash
# Conversion benchmark: writes a one-million-row Access file with the project's writer,
# then times, in one run,
#   1. mdb-export of that table to /dev/null (mdbtools' own exporter, which only reads),
#   2. tablewright-convert into an empty folder (direct mode),
#   3. tablewright-convert --preview into a file (the statement list, nothing executed),
# and prints the ratios and the peak memory of each.
# Goals: conversion within 1.5x of mdb-export's time; the preview's peak memory within 2x
# the size of the statement text it holds.
#   bench/convert_bench.sh [BUILD_DIR] [ROWS]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
rows=${2:-1000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bin/tablewright-mdb-write" --generate "$rows" "$work/big.mdb" >/dev/null
table=$(mdb-tables -1 "$work/big.mdb" | head -n 1)
echo "source: $rows rows in table '$table', $(du -h "$work/big.mdb" | cut -f1)"

# Runs a command under /usr/bin/time; prints "seconds max_rss_kb".
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/stderr" || {
    echo "command failed: $*" >&2; tail -5 "$work/stderr" >&2; exit 1; }
  cat "$work/time"
}

read -r t_export m_export < <(measure mdb-export "$work/big.mdb" "$table")
mkdir "$work/out"
read -r t_convert m_convert < <(measure "$build/bin/tablewright-convert" --overwrite=yes "$work/big.mdb" "$work/out")
mkdir "$work/out2"
read -r t_preview m_preview < <(measure "$build/bin/tablewright-convert" --preview="$work/preview.sql" "$work/big.mdb" "$work/out2")
text_kb=$(( $(stat -c %s "$work/preview.sql") / 1024 ))

printf '%-34s %8s s %10s KB peak\n' "mdb-export > /dev/null" "$t_export" "$m_export"
printf '%-34s %8s s %10s KB peak\n' "tablewright-convert (direct)" "$t_convert" "$m_convert"
printf '%-34s %8s s %10s KB peak\n' "tablewright-convert --preview" "$t_preview" "$m_preview"
awk -v c="$t_convert" -v e="$t_export" -v p="$t_preview" -v mp="$m_preview" -v tk="$text_kb" 'BEGIN {
  printf "conversion / mdb-export time: %.2fx (goal <= 1.5x)\n", c / e;
  printf "preview / mdb-export time:    %.2fx\n", p / e;
  printf "preview peak memory / statement text (%d KB): %.2fx (goal <= 2x)\n", tk, mp / tk;
}'

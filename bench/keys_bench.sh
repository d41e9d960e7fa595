#!/usr/bin/env bash
# Native tables with and without their keys: writes the one-million-row benchmark file
# twice with the project's writer, once plain and once with a primary key and two indexes
# (one of two columns), converts each with --native into an empty folder and prints the
# time and peak memory of both. Goal: the conversion with its indexes takes at most 1.5x
# the time of the one without.
#   bench/keys_bench.sh [BUILD_DIR] [ROWS]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
rows=${2:-1000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bin/tablewright-mdb-write" --generate "$rows" "$work/plain.mdb" >/dev/null
"$build/bin/tablewright-mdb-write" --generate-indexed "$rows" "$work/keyed.mdb" >/dev/null
echo "source: $rows rows, $(du -h "$work/plain.mdb" | cut -f1)"

# Converts one file into a new folder under /usr/bin/time; prints "seconds max_rss_kb tags".
convert() {
  local out="$work/out-$1"
  mkdir "$out"
  /usr/bin/time -f "%e %M" -o "$work/time" "$build/bin/tablewright-convert" -q --native "$work/$1.mdb" "$out" \
    2>"$work/stderr" || { echo "conversion failed: $1" >&2; tail -5 "$work/stderr" >&2; exit 1; }
  echo "$(cat "$work/time") $(ls "$out" | grep -c '\.cdx$' || true)"
}

read -r t_plain m_plain c_plain < <(convert plain)
read -r t_keyed m_keyed c_keyed < <(convert keyed)
[ "$c_keyed" = 1 ] || { echo "the keyed table has no .cdx" >&2; exit 1; }

printf '%-22s %8s s %10s KB peak\n' "no indexes" "$t_plain" "$m_plain"
printf '%-22s %8s s %10s KB peak\n' "primary key + 2 indexes" "$t_keyed" "$m_keyed"
awk -v a="$t_keyed" -v b="$t_plain" 'BEGIN { printf "with / without indexes: %.2fx (goal <= 1.5x)\n", a / b }'

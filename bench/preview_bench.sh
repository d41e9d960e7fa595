#!/usr/bin/env bash
# The SQL Preview window over one million generated rows: writes the Access file with the
# project's writer, then runs preview_bench on it (offscreen unless a display is given).
#   bench/preview_bench.sh [BUILD_DIR] [ROWS]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
rows=${2:-1000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bin/tablewright-mdb-write" --generate "$rows" "$work/big.mdb" >/dev/null
echo "source: $rows generated rows, $(du -h "$work/big.mdb" | cut -f1)"
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bin/preview_bench" "$work/big.mdb" "$work"

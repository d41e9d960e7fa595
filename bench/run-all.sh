#!/usr/bin/env bash
# Runs every benchmark against a build folder (make bench):
#   the .mdb writer (one million generated rows), the Access reader against libmdb, the
#   FoxPro engine against plain buffered writes and with keys against without, the whole
#   conversion against mdb-export, classic against native tables, the SQL Preview window
#   over a million statements, and the desktop program against the headless converter.
#   bench/run-all.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)

echo "== Access writer: generating one million rows"
sh "$here/mdb_gen_bench.sh" "$build" 1000000 1

echo; echo "== Access reader against libmdb, in-process"
"$build/bin/reader_bench"

echo; echo "== FoxPro engine: one million INSERT statements against buffered writes"
"$build/bin/vfp_insert_bench" 1000000

echo; echo "== FoxPro engine: one million rows with a primary key and two indexes, against none"
"$build/bin/vfp_index_bench" 1000000

echo; echo "== Conversion of one million rows against mdb-export"
"$here/convert_bench.sh" "$build" 1000000

echo; echo "== Classic against native tables, one million rows: time and size"
"$here/native_bench.sh" "$build" 1000000

echo; echo "== Native tables with a primary key and two indexes against none, one million rows"
"$here/keys_bench.sh" "$build" 1000000

echo; echo "== SQL Preview window: one million statements, shown, scrolled and executed"
"$here/preview_bench.sh" "$build" 1000000

echo; echo "== The desktop program against the headless converter, one million rows"
"$here/window_convert_bench.sh" "$build" 1000000

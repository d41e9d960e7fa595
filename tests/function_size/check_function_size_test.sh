#!/usr/bin/env bash
# Runs check_function_size.sh on a small made-up project: a function one line over the
# limit in a source file and one in a header must fail the check, each named; one at the
# limit must not; the allow-list lets them pass; a file clang-tidy cannot read fails the
# check rather than passing unmeasured; a changed file is measured again, not taken from
# the cache.
set -euo pipefail
check="$(cd "$(dirname "$0")" && pwd)/check_function_size.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/project/src" "$work/build"

# A function clang-tidy counts as `lines` lines long: from the line of its "{" to the line
# of its "}", not counting the first.
function_of() {
  local name=$1 lines=$2
  echo "inline int $name(int x) {"
  for ((i = 0; i < lines - 2; ++i)); do echo "  x += $i;"; done
  echo "  return x;"
  echo "}"
}
{ function_of overLimit 81; function_of atLimit 80; } >"$work/project/src/long.cpp"
{ echo "#pragma once"; function_of inHeader 95; } >"$work/project/src/header.h"
printf '#include "header.h"\nint use(int x) { return inHeader(x); }\n' >"$work/project/src/user.cpp"
python3 - "$work" <<'PY'
import json, sys
work = sys.argv[1]
entries = [{"directory": f"{work}/build", "file": f"{work}/project/src/{name}",
            "command": f"c++ -std=c++20 -I{work}/project/src -c {work}/project/src/{name}"}
           for name in ("long.cpp", "user.cpp")]
json.dump(entries, open(f"{work}/build/compile_commands.json", "w"))
PY
fail() { echo "FAIL: $*"; echo "--- output:"; cat "$work/out"; exit 1; }

# Over the limit, in a source file and in a header: refused, each named with its length.
printf '# none\n' >"$work/none.txt"
if FUNCTION_SIZE_ALLOWED="$work/none.txt" "$check" "$work/project" "$work/build" >"$work/out" 2>&1; then
  fail "functions over the limit passed"
fi
grep -q "^src/long.cpp: overLimit has 81 lines" "$work/out" || fail "overLimit not named"
grep -q "^src/header.h: inHeader has 95 lines" "$work/out" || fail "the header's function not named"
grep -q "atLimit" "$work/out" && fail "a function of exactly 80 lines was refused"

# The allow-list lets listed functions pass, and only those.
printf 'src/long.cpp\toverLimit\ta reason\n' >"$work/some.txt"
if FUNCTION_SIZE_ALLOWED="$work/some.txt" "$check" "$work/project" "$work/build" >"$work/out" 2>&1; then
  fail "an unlisted function passed"
fi
grep -q "overLimit" "$work/out" && fail "a listed function was refused"
printf 'src/long.cpp\toverLimit\ta reason\nsrc/header.h\tinHeader\tanother\n' >"$work/all.txt"
FUNCTION_SIZE_ALLOWED="$work/all.txt" "$check" "$work/project" "$work/build" >"$work/out" 2>&1 ||
  fail "listed functions were refused"

# A change is measured again: shortened, the function passes without the list.
function_of overLimit 40 >"$work/project/src/long.cpp"
FUNCTION_SIZE_ALLOWED="$work/none.txt" "$check" "$work/project" "$work/build" >"$work/out" 2>&1 &&
  fail "the header's function passed after another file changed"
grep -q "overLimit" "$work/out" && fail "a shortened function was still refused (stale cache)"

# A file that cannot be parsed fails the check.
echo "int broken( {" >>"$work/project/src/long.cpp"
if FUNCTION_SIZE_ALLOWED="$work/all.txt" "$check" "$work/project" "$work/build" >"$work/out" 2>&1; then
  fail "a file clang-tidy cannot read passed"
fi
grep -q "could not read .*long.cpp" "$work/out" || fail "the unreadable file not named"
echo "check_function_size.sh: all cases behave"

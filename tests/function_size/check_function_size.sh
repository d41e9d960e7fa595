#!/usr/bin/env bash
# Fails when a function in src/, tools/ or bench/ is longer than 80 lines, as clang-tidy's
# readability-function-size counts them (lines of the body, comments and blank lines
# included), over the translation units of the build's compile_commands.json. Functions of
# headers under those folders are measured through the files that include them.
# Functions listed in allowed_long_functions.txt (or the file FUNCTION_SIZE_ALLOWED names),
# each with its reason, may stay longer.
#
#   check_function_size.sh SOURCE_DIR BUILD_DIR [--list]
#
# --list prints every function over the limit with its length, allowed or not, and passes.
# clang-tidy's findings are kept per file in BUILD_DIR/function_size_cache, keyed by the
# file, its compile command and every header of ours, so that a second run only measures
# what changed.
set -euo pipefail
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
mode=${3:-check}
limit=80
tidy=${CLANG_TIDY:-clang-tidy}
allow=${FUNCTION_SIZE_ALLOWED:-$(dirname "$0")/allowed_long_functions.txt}
command -v "$tidy" >/dev/null || { echo "clang-tidy not found (Debian package clang-tidy)" >&2; exit 1; }
[ -f "$build/compile_commands.json" ] || { echo "$build/compile_commands.json is missing" >&2; exit 1; }
[ -f "$allow" ] || { echo "$allow is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cache="$build/function_size_cache"
mkdir -p "$cache"

config="{Checks: '-*,readability-function-size', CheckOptions: [{key: readability-function-size.LineThreshold, value: $limit}]}"
# What every file's findings depend on besides the file itself: the tool, the limit and
# all of our headers.
folders=()
for d in src tools bench; do [ -d "$src/$d" ] && folders+=("$src/$d"); done
common=$( { "$tidy" --version; echo "$config";
            find "${folders[@]}" -name '*.h' -print0 | sort -z | xargs -0 -r cat; } |
          sha1sum | cut -d' ' -f1)

# Our translation units with their cache keys: "path<TAB>key".
python3 - "$build/compile_commands.json" "$src" "$common" >"$work/files" <<'PY'
import hashlib, json, os, sys
commands, root, common = sys.argv[1], sys.argv[2], sys.argv[3]
seen = set()
for entry in json.load(open(commands)):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    if os.path.relpath(path, root).split(os.sep)[0] not in ("src", "tools", "bench") or path in seen:
        continue
    seen.add(path)
    h = hashlib.sha1(common.encode())
    h.update(path.encode())
    h.update((entry.get("command") or " ".join(entry.get("arguments", []))).encode())
    h.update(open(path, "rb").read())
    print(f"{path}\t{h.hexdigest()}")
PY
[ -s "$work/files" ] || { echo "no source files of src/, tools/ or bench/ in $build/compile_commands.json" >&2; exit 1; }

# Measures the files whose findings are not cached yet, as many at once as there are cores.
measure() {
  local path=$1 key=$2
  [ -f "$cache/$key" ] && return 0
  # Names of this process's own, so that two checks of one build folder never meet.
  local out="$cache/$key.$$.out" err="$cache/$key.$$.err"
  if ! "$tidy" -p "$build" --quiet --config="$config" --header-filter="^$src/(src|tools|bench)/" "$path" \
       >"$out" 2>"$err"; then
    # clang-tidy exits non-zero for a file it cannot parse: that must not pass unnoticed.
    if grep -q "error:" "$out" "$err"; then
      echo "clang-tidy could not read $path:" >&2
      grep -h "error:" "$out" "$err" | head -5 >&2
      rm -f "$out" "$err"
      return 1
    fi
  fi
  rm -f "$err"
  mv "$out" "$cache/$key"
}
export -f measure
export tidy build config src cache
awk -F'\t' '{ print $1; print $2 }' "$work/files" |
  xargs -d '\n' -n 2 -P "$(nproc)" bash -c 'measure "$0" "$1"'
cut -f2 "$work/files" | sed "s|^|$cache/|" | xargs cat >"$work/out"

# "file:line:col: warning: function 'name' exceeds ..." then "note: N lines including ...".
awk -v root="$src/" '
  / warning: function .* exceeds recommended size/ {
    split($1, loc, ":"); file = loc[1]; sub("^" root, "", file);
    name = $0; sub(/.*function '\''/, "", name); sub(/'\'' exceeds.*/, "", name);
    pending = 1; next }
  pending && /note: [0-9]+ lines including/ {
    n = $0; sub(/.*note: /, "", n); sub(/ lines.*/, "", n);
    print file "\t" name "\t" n; pending = 0 }
' "$work/out" | sort -u >"$work/long"

status=0
while IFS=$'\t' read -r file name lines; do
  if grep -v '^#' "$allow" | awk -F'\t' -v f="$file" -v n="$name" '$1 == f && $2 == n { found = 1 } END { exit !found }'; then
    allowed=yes
  else
    allowed=no
  fi
  if [ "$mode" = --list ]; then
    printf '%4d  %s  %s%s\n' "$lines" "$file" "$name" "$([ $allowed = yes ] && echo '  (allowed)' || true)"
  elif [ $allowed = no ]; then
    echo "$file: $name has $lines lines (limit $limit): split it into named steps"
    status=1
  fi
done < <(sort -t$'\t' -k3,3nr "$work/long")
[ "$mode" = --list ] && exit 0
[ $status = 0 ] && echo "no function over $limit lines in src/, tools/, bench/ ($(wc -l <"$work/files") files)"
# Cached findings of files that have since changed are no longer needed.
find "$cache" -type f -mtime +7 -delete 2>/dev/null || true
exit $status

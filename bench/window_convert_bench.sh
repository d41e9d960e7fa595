#!/usr/bin/env bash
# The desktop program against the headless converter on the same one-million-row file:
#   1. tablewright-convert into an empty folder (direct mode);
#   2. the real program under Xvfb, its stored settings naming the same file and another
#      empty folder with SQL Preview off: "Start Converting" is pressed with xdotool, and
#      the time runs from the press until the "Done." box is on the screen.
# Both destinations must end with the same tables of the same sizes.
# Each side runs twice, in alternating order, each after a sync; the faster run of each is
# compared.
# Goal: the window's time within 1.2x of the converter's.
#   bench/window_convert_bench.sh [BUILD_DIR] [ROWS]
# Needs xvfb-run, xdotool and xev (make bench installs them).
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
rows=${2:-1000000}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in xvfb-run xdotool xev stdbuf; do
  command -v "$tool" >/dev/null || { echo "window_convert_bench: $tool is missing (make bench installs it)" >&2; exit 1; }
done

"$build/bin/tablewright-mdb-write" --generate "$rows" "$work/big.mdb" >/dev/null
echo "source: $rows rows, $(du -h "$work/big.mdb" | cut -f1)"

mkdir "$work/home"
# The window's choices, as a user would have left them.
mkdir -p "$work/home/.config"
settings() {
  cat > "$work/home/.config/Quernfield.conf" <<CONF
[Tablewright]
AccessMDBFile=$work/big.mdb
AccessPassword=
FreeTableFolder=$1
FoxproOption=2
Check1=0
Option1=True
Option2=False
CONF
  chmod 600 "$work/home/.config/Quernfield.conf"
}

# Each side runs twice into a fresh folder, the first round converter first, the second
# window first; the faster run of each counts, so that another program's load on the machine
# weighs less. Before each run the other's writes go to disk (sync), so that neither side
# pays for the other's write-back.
t_cli=""
t_window=""
faster() { awk -v t="$1" -v m="$2" 'BEGIN { print (m == "" || t < m) ? t : m }'; }
run_cli() {
  rm -rf "$work/cli" && mkdir "$work/cli" && sync
  local start
  start=$(date +%s.%N)
  "$build/bin/tablewright-convert" --overwrite=yes "$work/big.mdb" "$work/cli" 2>"$work/cli.err" || {
    echo "tablewright-convert failed:" >&2; tail -5 "$work/cli.err" >&2; exit 1; }
  round_cli=$(awk -v a="$(date +%s.%N)" -v b="$start" 'BEGIN { printf "%.3f", a - b }')
  t_cli=$(faster "$round_cli" "$t_cli")
}
run_window() {
  rm -rf "$work/window" && mkdir "$work/window" && sync
  settings "$work/window"
  HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
    xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$here/window_convert_press.sh" "$build/bin/tablewright" \
    > "$work/window.out" 2>"$work/window.err" || {
    echo "the window run failed:" >&2; cat "$work/window.out" "$work/window.err" >&2; exit 1; }
  round_window=$(grep '^seconds ' "$work/window.out" | cut -d' ' -f2)
  t_window=$(faster "$round_window" "$t_window")
}
run_cli
run_window
echo "round 1: converter $round_cli s, window $round_window s"
run_window
run_cli
echo "round 2: window $round_window s, converter $round_cli s"

# Same tables, same sizes.
(cd "$work/cli" && find . -type f -printf '%p %s\n' | sort) > "$work/cli.list"
(cd "$work/window" && find . -type f -printf '%p %s\n' | sort) > "$work/window.list"
if ! cmp -s "$work/cli.list" "$work/window.list"; then
  echo "the two destinations differ:" >&2
  diff "$work/cli.list" "$work/window.list" >&2 || true
  exit 1
fi

printf '%-44s %8.2f s\n' "tablewright-convert (direct)" "$t_cli"
printf '%-44s %8.2f s\n' "window: Start Converting -> Done. (direct)" "$t_window"
awk -v w="$t_window" -v c="$t_cli" 'BEGIN { printf "window / converter time: %.2fx (goal <= 1.2x)\n", w / c }'

#!/usr/bin/env bash
# Inside an X server: starts the program, presses "Start Converting" and prints
# "seconds N.NNN", the time from the press until the "Done." box is mapped. Helper of
# window_convert_bench.sh.
#
# The end is seen without polling: xev reports every top-level window the X server maps,
# and the first one after the press is the box the run ends with. Its title then tells a
# "Done." box (the application title) from an "Application Error" report.
set -euo pipefail
program=$1
work=$(mktemp -d)
"$program" &
pid=$!
trap 'kill $pid $spy 2>/dev/null || true; rm -rf "$work"' EXIT
spy=

main=$(xdotool search --sync --onlyvisible --name '^Tablewright$' | head -n 1)
sleep 0.5
mkfifo "$work/maps"
stdbuf -oL xev -root -event substructure > "$work/maps" &
spy=$!
exec 3< "$work/maps"
sleep 0.3
# "Start Converting": 120, 5670, 7800 x 405 twips, 15 twips a pixel at 96 DPI.
xdotool mousemove --window "$main" 268 391
# Let the pointer's own events pass before the press.
sleep 0.2
while read -r -t 0.01 line <&3; do :; done
start=$(date +%s.%N)
xdotool click 1
while read -r line <&3; do
  case $line in
    MapNotify*) break ;;
  esac
done
end=$(date +%s.%N)
sleep 0.2
if xdotool search --onlyvisible --name '^Application Error$' >/dev/null 2>&1; then
  echo "a step failed during the run" >&2
  exit 1
fi
[ "$(xdotool search --onlyvisible --name '^Tablewright$' | wc -l)" -ge 2 ] || {
  echo "the run ended without its Done. box" >&2; exit 1; }
awk -v a="$end" -v b="$start" 'BEGIN { printf "seconds %.3f\n", a - b }'

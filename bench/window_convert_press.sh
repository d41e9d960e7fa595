#!/usr/bin/env bash
# Inside an X server: starts the program, presses "Start Converting" and prints
# "seconds N.NN", the time from the press until the "Done." box shows. Helper of
# window_convert_bench.sh.
set -euo pipefail
program=$1
"$program" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT

# The main window, and the only top-level window titled "Tablewright" at first.
main=$(xdotool search --sync --onlyvisible --name '^Tablewright$' | head -n 1)
sleep 0.5
# "Start Converting": 120, 5295, 7800 x 405 twips, 15 twips a pixel at 96 DPI.
xdotool mousemove --window "$main" 268 366
start=$(date +%s.%N)
xdotool click 1
# The run ends with "Done." in a second window of the same title; an "Application Error"
# box means a step failed.
while :; do
  if xdotool search --onlyvisible --name '^Application Error$' >/dev/null 2>&1; then
    echo "a step failed during the run" >&2
    exit 1
  fi
  count=$(xdotool search --onlyvisible --name '^Tablewright$' 2>/dev/null | wc -l)
  [ "$count" -ge 2 ] && break
  sleep 0.05
done
end=$(date +%s.%N)
awk -v a="$end" -v b="$start" 'BEGIN { printf "seconds %.3f\n", a - b }'

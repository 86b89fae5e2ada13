#!/usr/bin/env bash
# A script that never runs an event loop shows each step of a long computation with show:
# the screen has each step's colours and positions while the script is still busy.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" "$here/show_loop.tav" "$work/go" >"$work/out" 2>"$work/err" &
tav_pid=$!

keep() { [ -z "${TAV_KEEP_SHOT:-}" ] || cp "$work/shot.png" "$TAV_KEEP_SHOT-$1.png"; }
printed() { grep -qx "$1" "$work/out"; }

# Window client origin 100,100: the bar's inside is at screen 111..309 x 111..149; the text
# face starts at x 110 + step * 20, y 160.
colors=("" "200,0,0" "0,200,0" "0,0,200")
for step in 1 2 3; do
  wait_for printed "step $step" || { cat "$work/out" "$work/err" >&2; exit 1; }
  # The paint happened before the line was printed: one shot shows it.
  shot
  keep "step$step"
  x=$((111 + step * 20))
  for point in "150 130" "300 140" "$x 162"; do
    got=$(pixel $point)
    if [ "$got" != "${colors[$step]}" ]; then
      echo "step $step at $point: expected ${colors[$step]}, got $got" >&2
      cp "$work/shot.png" /tmp/tav-show-loop-failed.png
      exit 1
    fi
  done
  # Where the text face stood at the step before is the window's grey again.
  if [ "$step" -gt 1 ]; then
    got=$(pixel $((x - 20)) 162)
    [ "$got" = "128,128,128" ] || { echo "step $step: old text place is $got" >&2; exit 1; }
  fi
  touch "$work/go-$step"
done

wait_tav || { echo "tav did not end" >&2; exit 1; }
[ "$status" -eq 0 ] && printed done || { echo "tav ended with $status" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
echo "1 passed, 0 failed"

#!/usr/bin/env bash
# The real tav in its own X server paints a window's Draw block: the screenshot shows each
# shape's colour where the block puts it, and the window's own colour around them.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" "$here/draw_window.tav" >"$work/out" 2>"$work/err" &
tav_pid=$!

wait_for loop_entered || { cat "$work/out" "$work/err" >&2; exit 1; }
win=$(xdotool search --sync --name '^tav-e2e-draw$' | head -n1)

# The window's client area starts at its face offset, 50x50: a point of the drawing at x,y
# is the screen pixel 50+x, 50+y.
painted() { shot && [ "$(pixel 100 85)" = "220,0,0" ]; }
wait_for painted || { echo "the drawing never showed" >&2; cp "$work/shot.png" /tmp/tav-draw-window-failed.png; exit 1; }
[ -n "${TAV_KEEP_SHOT:-}" ] && cp "$work/shot.png" "$TAV_KEEP_SHOT"

failed=0
# check X Y R,G,B WHAT [TOLERANCE]: each channel within the tolerance (0 unless given).
check() {
  local got tol=${5:-0} a b
  got=$(pixel "$1" "$2")
  IFS=, read -r -a a <<<"$got"
  IFS=, read -r -a b <<<"$3"
  for i in 0 1 2; do
    if [ $(( a[i] > b[i] ? a[i] - b[i] : b[i] - a[i] )) -gt "$tol" ]; then
      echo "at $1,$2 ($4): expected $3, got $got" >&2
      failed=1
      return
    fi
  done
}
check 100 85 220,0,0 "inside the box"
check 200 90 0,0,200 "the circle's centre"
check 200 62 0,0,200 "inside the circle near its top"
check 200 58 255,255,255 "above the circle"
check 150 150 0,150,0 "on the line"
check 150 145 255,255,255 "above the line"
check 145 75 255,255,255 "between the box and the circle"
# The gradient runs across the box widened by half the pen: near its ends, nearly its colours.
check 153 132 255,255,0 "the gradient's start" 16
check 236 132 0,200,200 "the gradient's end" 16
check 195 132 128,228,100 "the gradient's middle" 16
check 240 132 0,150,0 "the box's outline"
check 20 20 0,0,0 "outside the window"
[ "$failed" -eq 0 ] || { cp "$work/shot.png" /tmp/tav-draw-window-failed.png; exit 1; }

xdotool windowfocus --sync "$win"
xdotool key q
wait_tav || { echo "tav did not end" >&2; exit 1; }
if [ "$status" -ne 0 ] || [ "$(cat "$work/out")" != "$(printf 'shown\nclosed')" ]; then
  echo "tav ended with status $status" >&2
  cat "$work/out" "$work/err" >&2
  exit 1
fi
echo "1 passed, 0 failed"

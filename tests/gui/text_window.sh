#!/usr/bin/env bash
# The real tav in its own X server draws text in a font's colour and a box over its shadow:
# the screenshot shows the glyph's stem where the script measured it, and the shadow beside
# the box.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" "$here/text_window.tav" >"$work/out" 2>"$work/err" &
tav_pid=$!

wait_for loop_entered || { cat "$work/out" "$work/err" >&2; exit 1; }
win=$(xdotool search --sync --name '^tav-e2e-text$' | head -n1)
read -r _ stem_x stem_y < <(grep '^stem ' "$work/out")

# The client area starts at the face offset, 50x50.
painted() { shot && [ "$(pixel 195 95)" = "0,150,0" ]; }
wait_for painted || { echo "the drawing never showed" >&2; cp "$work/shot.png" /tmp/tav-text-window-failed.png; exit 1; }
[ -n "${TAV_KEEP_SHOT:-}" ] && cp "$work/shot.png" "$TAV_KEEP_SHOT"

failed=0
check() {
  local got
  got=$(pixel "$1" "$2")
  if [ "$got" != "$3" ]; then
    echo "at $1,$2 ($4): expected $3, got $got" >&2
    failed=1
  fi
}
check $((50 + stem_x)) $((50 + stem_y)) 0,0,200 "the stem of the I, in the font's colour"
check $((50 + stem_x + 40)) $((50 + stem_y)) 255,255,255 "right of the I"
check 195 95 0,150,0 "inside the box"
check 223 125 200,0,0 "the shadow below the box's corner"
check 185 125 200,0,0 "the shadow below the box"
check 175 66 255,255,255 "above the box, where the shadow is not"
[ "$failed" -eq 0 ] || { cp "$work/shot.png" /tmp/tav-text-window-failed.png; exit 1; }

xdotool windowfocus --sync "$win"
xdotool key q
wait_tav || { echo "tav did not end" >&2; exit 1; }
if [ "$status" -ne 0 ] || [ "$(tail -n2 "$work/out")" != "$(printf 'shown\nclosed')" ]; then
  echo "tav ended with status $status" >&2
  cat "$work/out" "$work/err" >&2
  exit 1
fi
echo "1 passed, 0 failed"

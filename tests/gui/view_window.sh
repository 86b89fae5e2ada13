#!/usr/bin/env bash
# The real tav shows a window of faces with view: each face sits at its offset with its size
# and colour; facet changes made from an event show on screen; unview ends the loop.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" "$here/view_window.tav" >"$work/out" 2>"$work/err" &
tav_pid=$!

wait_for loop_entered || { cat "$work/out" "$work/err" >&2; exit 1; }
win=$(xdotool search --sync --name '^tav-e2e-view$' | head -n1)

# The window's client area starts at its offset, 100x100: a face's point x,y inside the window
# is the screen pixel 100+x, 100+y.
keep() { [ -z "${TAV_KEEP_SHOT:-}" ] || cp "$work/shot.png" "$TAV_KEEP_SHOT-$1.png"; }

failed=0
check() {
  local got
  got=$(pixel "$1" "$2")
  if [ "$got" != "$3" ]; then
    echo "at $1,$2 ($4): expected $3, got $got" >&2
    failed=1
  fi
}
# differs X Y R,G,B WHAT: the pixel is not that colour.
differs() {
  local got
  got=$(pixel "$1" "$2")
  if [ "$got" = "$3" ]; then
    echo "at $1,$2 ($4): still $3" >&2
    failed=1
  fi
}

painted() { shot && [ "$(pixel 310 150)" = "220,0,0" ]; }
wait_for painted || { echo "the faces never showed" >&2; cp "$work/shot.png" /tmp/tav-view-window-failed.png; exit 1; }
keep shown
check 99 99 0,0,0 "outside the window"
check 100 100 128,128,128 "the window's corner"
check 419 299 128,128,128 "the window's far corner"
check 420 300 0,0,0 "past the window"
check 111 111 255,255,0 "the text face's corner"
check 229 133 255,255,0 "the text face's far corner"
check 230 111 128,128,128 "right of the text face"
check 111 134 128,128,128 "below the text face"
check 281 121 0,0,200 "the base face's corner"
check 399 219 0,0,200 "the base face's far corner"
check 400 219 128,128,128 "right of the base face"
check 310 150 220,0,0 "the base face's drawing"
check 290 129 0,0,200 "the base face beside its drawing"
differs 115 162 128,128,128 "inside the field"
differs 258 162 128,128,128 "the field's far end"
check 260 162 128,128,128 "right of the field"
differs 112 203 128,128,128 "inside the button"
check 112 219 128,128,128 "below the button"
[ "$failed" -eq 0 ] || { cp "$work/shot.png" /tmp/tav-view-window-failed.png; exit 1; }

xdotool windowfocus --sync "$win"
xdotool key c
repainted() { shot && [ "$(pixel 360 195)" = "0,200,0" ] && [ "$(pixel 111 231)" = "0,200,0" ]; }
wait_for repainted || { echo "the changes never showed" >&2; cp "$work/shot.png" /tmp/tav-view-window-failed.png; exit 1; }
keep changed
check 111 111 128,128,128 "where the text face was"
check 111 231 0,200,0 "the moved text face's corner"
check 229 253 0,200,0 "the moved text face's far corner"
check 310 150 0,0,200 "where the old drawing was"
check 360 195 0,200,0 "the new drawing"
[ "$failed" -eq 0 ] || { cp "$work/shot.png" /tmp/tav-view-window-failed.png; exit 1; }

xdotool key q
wait_tav || { echo "tav did not end" >&2; exit 1; }
if [ "$status" -ne 0 ] || [ "$(cat "$work/out")" != "$(printf 'changed\nclosed')" ]; then
  echo "tav ended with status $status" >&2
  cat "$work/out" "$work/err" >&2
  exit 1
fi
echo "1 passed, 0 failed"

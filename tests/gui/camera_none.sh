#!/usr/bin/env bash
# With no capture device the camera face says so once, leaves its data as it was, captures
# nothing and shows nothing: the window's own colour shows through it.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" "$here/camera_none.tav" >"$work/out" 2>"$work/err" &
tav_pid=$!
wait_for loop_entered || { cat "$work/out" "$work/err" >&2; exit 1; }
win=$(xdotool search --sync --name '^tav-e2e-camera$' | head -n1)
fail() { echo "$1" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
printed() { grep -qxF "$1" "$work/out"; }

wait_for printed 'done' || fail "the script did not get through its camera calls"
[ "$(grep -cxF 'No video capture hardware' "$work/out")" -eq 1 ] || fail "the missing device was not told once"
printed 'data ["left alone"]' || fail "the face's data changed"
printed 'image none ratio 0.0' || fail "a frame or a ratio came from nowhere"

# The client area starts at 100,100; the camera covers 120,120 to 240,210.
shown() { shot && [ "$(pixel 105 105)" = "200,0,0" ]; }
wait_for shown || fail "the window never showed its colour"
for at in "121 121" "180 165" "239 209"; do
  # shellcheck disable=SC2086
  [ "$(pixel $at)" = "200,0,0" ] || fail "the camera face painted something at $at: $(pixel $at)"
done

python3 "$here/wm_close.py" "$win"
wait_for printed closed || fail "no close"
wait_tav || fail "tav did not end"
echo "1 passed, 0 failed"

#!/usr/bin/env bash
# A window resized or moved from outside updates its face and raises resize and move, whose
# offset is the new size (a pair, as the window's size was given) or the new offset; the
# program's own size and offset changes raise nothing.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" "$here/window_events.tav" >"$work/out" 2>"$work/err" &
tav_pid=$!
wait_for loop_entered || { cat "$work/out" "$work/err" >&2; exit 1; }
win=$(xdotool search --sync --name '^tav-e2e-wevents$' | head -n1)
printed() { grep -qxF "$1" "$work/out"; }
fail() { echo "$1" >&2; cat "$work/out" "$work/err" >&2; exit 1; }

xdotool windowsize "$win" 320 180
wait_for printed "resize 320x180" || fail "no resize event with the new size"
wait_for printed "resized to 320x180" || fail "the resize event's offset is not the new size"
xdotool windowmove "$win" 60 70
wait_for printed "move 60x70" || fail "no move event with the new offset"
wait_for printed "moved to (60, 70)" || fail "the move event's offset is not the new offset"
# The button's click changes size and offset from the program.
xdotool mousemove --sync 110 100 click 1
wait_for printed "grown" || fail "the click did not run"
python3 "$here/wm_close.py" "$win"
wait_for printed "closed" || fail "no close"
wait_tav || fail "tav did not end"
! grep -q "resize 260x140\|move 140x130" "$work/out" || fail "the program's own changes raised events"
echo "1 passed, 0 failed"

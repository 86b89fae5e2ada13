#!/usr/bin/env bash
# A menu bar set on a window already shown pushes its faces down by the bar's height; the
# window grows by as much, so its face size (the client area below the bar) stays, and a click
# on a face at its new place reaches it with offsets in its own coordinates.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" "$here/values_menu_later.tav" >"$work/out" 2>"$work/err" &
tav_pid=$!
wait_for loop_entered || { cat "$work/out" "$work/err" >&2; exit 1; }
win=$(xdotool search --sync --name '^tav-e2e-menu-later$' | head -n1)
fail() { echo "$1" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
printed() { grep -qxF "$1" "$work/out"; }
height() { xdotool getwindowgeometry "$win" | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\).*/\1/p'; }

# Without a bar the blue face starts at the client origin (100,100).
plain() { shot && [ "$(pixel 105 105)" = "0,0,200" ]; }
wait_for plain || fail "the face is not at the window's top: $(pixel 105 105)"
[ "$(height)" = 120 ] || fail "the window is not 120 high before the bar"

xdotool windowfocus --sync "$win"
xdotool key m
wait_for printed "size 200x120 box 0x0 60x40" || fail "the faces' facets changed with the bar"

# The bar now covers the top; the face starts below it and ends as far below as the bar is high.
barred() { shot && [ "$(pixel 105 105)" != "0,0,200" ] && [ "$(pixel 105 145)" = "0,0,200" ]; }
wait_for barred || fail "the face did not move below the bar: $(pixel 105 105) $(pixel 105 145)"
bar=$(( $(height) - 120 ))
[ "$bar" -gt 10 ] || fail "the window did not grow by the bar's height ($(height))"
[ "$(pixel 105 $((100 + bar)))" = "0,0,200" ] || fail "the face's top is not at the bar's bottom"
[ "$(pixel 105 $((99 + bar)))" != "0,0,200" ] || fail "the face reaches into the bar"
[ "$(pixel 105 $((139 + bar)))" = "0,0,200" ] || fail "the face is not 40 high below the bar"
[ "$(pixel 105 $((140 + bar)))" = "200,0,0" ] || fail "the face is more than 40 high below the bar"

# A click 10,5 into the face's new place is 10,5 in the face.
xdotool mousemove --sync 110 $((105 + bar)) click 1
wait_for printed "down (10, 5)" || fail "the click did not reach the face at its own offset"

python3 "$here/wm_close.py" "$win"
wait_for printed closed || fail "no close"
echo "1 passed, 0 failed"

#!/usr/bin/env bash
# Driven by xdotool: a window's menu bar sits above its faces (the face at 0x0 starts below
# the bar, at the window's offset, and the window grew upward by the bar); items of the bar and
# of its submenus raise `menu` with their words.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" "$here/menus_bar.tav" >"$work/out" 2>"$work/err" &
tav_pid=$!
wait_for loop_entered || { cat "$work/out" "$work/err" >&2; exit 1; }
win=$(xdotool search --sync --name '^tav-e2e-menubar$' | head -n1)
fail() { echo "$1" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
keep() { [ -z "${TAV_KEEP_SHOT:-}" ] || cp "$work/shot.png" "$TAV_KEEP_SHOT-$1.png"; }

# The window's offset is the area below the bar: the face's blue starts at 100,100 and goes
# down to the window's bottom edge; the bar lies above it, its top at the window's top.
eval "$(xdotool getwindowgeometry --shell "$win")"
[ "$HEIGHT" -gt 200 ] || fail "the window did not grow by its bar: height $HEIGHT"
bar=$((HEIGHT - 200))
[ "$Y" -eq $((100 - bar)) ] || fail "the bar does not lie above the offset: top $Y, bar $bar"
shot
keep bar
[ "$(pixel 250 $((100 - bar / 2)))" != "0,0,200" ] || fail "the face covers the bar"
[ "$(pixel 250 102)" = "0,0,200" ] || fail "no face right below the bar"
[ "$(pixel 250 297)" = "0,0,200" ] || fail "the face does not reach the bottom"

visible() { xdotool search --onlyvisible --name '' 2>/dev/null | wc -l; }
# pick X KEYS...: opens the bar's menu under X and chooses with the keys.
pick() {
  local x=$1 before
  shift
  before=$(visible)
  xdotool mousemove --sync 60 60 mousemove --sync "$x" $((100 - bar / 2)) click 1
  wait_for eval '[ "$(visible)" -gt "$before" ]' || fail "no menu opened"
  xdotool key --delay 30 "$@"
}
pick 115 Down Return
wait_for grep -qxF "menu open" "$work/out" || fail "Open did not raise menu open"
pick 115 Down Down Return
wait_for grep -qxF "menu quit" "$work/out" || fail "Quit did not raise menu quit"
wait_for grep -qxF closed "$work/out" || fail "the quit item's action did not run"

wait_tav || fail "tav did not end"
[ "$status" -eq 0 ] || fail "tav ended with $status"
echo "1 passed, 0 failed"

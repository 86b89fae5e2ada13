#!/usr/bin/env bash
# Windows opened by actors (the event of another window still being handled) show their own
# colours on the screen, not the black of an unpainted window: one opened without waiting from
# a timer's actor, lying over the window whose timer it is; then a modal one, with an image
# face, opened by a menu's actor.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" "$here/window_from_actor.tav" >"$work/out" 2>"$work/err" &
tav_pid=$!
wait_for loop_entered || { cat "$work/out" "$work/err" >&2; exit 1; }
fail() { echo "$1" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
keep() { [ -z "${TAV_KEEP_SHOT:-}" ] || cp "$work/shot.png" "$TAV_KEEP_SHOT-$1.png"; }

wait_for grep -qxF timed "$work/out" || fail "the timer's actor did not run"
xdotool search --sync --onlyvisible --name '^tav-e2e-third$' >/dev/null
# Inside the third window, then the first window's own area beside it.
blue() { shot; [ "$(pixel 200 200)" = "0,0,200" ] && [ "$(pixel 120 280)" != "0,0,200" ]; }
wait_for blue || { keep timer; fail "the window opened by the timer shows $(pixel 200 200), not its colour"; }
[ "$(grep -c timed "$work/out")" = 1 ] || fail "the timer went on after its rate was removed"

first=$(xdotool search --sync --name '^tav-e2e-first$' | head -n1)
eval "$(xdotool getwindowgeometry --shell "$first")"
visible() { xdotool search --onlyvisible --name '' 2>/dev/null | wc -l; }
before=$(visible)
xdotool mousemove --sync $((X + 15)) $((Y + 8)) click 1
wait_for eval '[ "$(visible)" -gt "$before" ]' || fail "the Help menu did not open"
xdotool key --delay 30 Down Return
wait_for grep -qxF opened "$work/out" || fail "the menu's actor did not run"
xdotool search --sync --onlyvisible --name '^tav-e2e-second$' >/dev/null
green() { shot; [ "$(pixel 550 200)" = "0,160,0" ] && [ "$(pixel 520 160)" = "255,255,0" ]; }
wait_for green || { keep menu; fail "the second window shows $(pixel 550 200), not its colour"; }
echo "2 passed, 0 failed"

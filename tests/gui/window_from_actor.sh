#!/usr/bin/env bash
# A modal window opened by a menu's actor (the event of another window still being handled)
# shows its own colour and its image face on the screen, not the black of an unpainted window.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" "$here/window_from_actor.tav" >"$work/out" 2>"$work/err" &
tav_pid=$!
wait_for loop_entered || { cat "$work/out" "$work/err" >&2; exit 1; }
fail() { echo "$1" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
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
wait_for green || { [ -z "${TAV_KEEP_SHOT:-}" ] || cp "$work/shot.png" "$TAV_KEEP_SHOT.png"; fail "the second window shows $(pixel 550 200), not its colour"; }
echo "1 passed, 0 failed"

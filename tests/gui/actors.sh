#!/usr/bin/env bash
# Driven by xdotool: a click runs the button's on-click; an actor that fails prints its error
# and the window goes on working; typing into a field fires on-change with the text; closing
# by the window manager fires on-close, which can refuse it.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" "$here/actors.tav" >"$work/out" 2>"$work/err" &
tav_pid=$!
wait_for loop_entered || { cat "$work/out" "$work/err" >&2; exit 1; }
win=$(xdotool search --sync --name '^tav-e2e-actors$' | head -n1)
printed() { grep -qxF "$1" "$work/out"; }
fail() { echo "$1" >&2; cat "$work/out" "$work/err" >&2; exit 1; }

# The window's client area is at 100,100 on the screen.
xdotool mousemove --sync 130 125 click 1
wait_for printed "clicked" || fail "no on-click"
xdotool mousemove --sync 230 125 click 1
wait_for printed "failing" || fail "the failing actor did not run"
wait_for grep -q "attempt to divide by zero" "$work/out" || fail "the actor's error was not printed"
xdotool mousemove --sync 130 125 click 1
wait_for eval '[ "$(grep -cx clicked "$work/out")" -eq 2 ]' || fail "the window stopped working after the error"

xdotool mousemove --sync 150 172 click 1
xdotool type --delay 20 "ab"
wait_for printed 'text "ab"' || fail "no on-change with the typed text"
grep -qxF 'text "a"' "$work/out" || fail "no on-change for the first key"

python3 "$here/wm_close.py" "$win"
wait_for printed "close 1" || fail "no on-close"
kill -0 "$tav_pid" 2>/dev/null || fail "the refused close ended tav"
python3 "$here/wm_close.py" "$win"
wait_for printed "closed" || fail "the second close did not close the window"
wait_tav || fail "tav did not end"
[ "$status" -eq 0 ] || fail "tav ended with status $status"
echo "1 passed, 0 failed"

#!/usr/bin/env bash
# Tab moves the focus to the next focusable face (passing over a text, into a panel, round
# from the last face to the first); Shift+Tab goes back; typing lands in the focused field.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" "$here/tab_focus.tav" >"$work/out" 2>"$work/err" &
tav_pid=$!
wait_for loop_entered || { cat "$work/out" "$work/err" >&2; exit 1; }
win=$(xdotool search --sync --name '^tav-e2e-tab$' | head -n1)
fail() { echo "$1" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
printed() { grep -qxF "$1" "$work/out"; }

# Each key typed after a Tab shows where the focus is.
xdotool windowfocus --sync "$win"
xdotool type "1"
wait_for printed "a 1" || fail "set-focus did not focus the first field"
step() {
  xdotool key "$1"
  xdotool type "$2"
  wait_for printed "$3" || fail "$1 did not move the focus as expected: $3"
}
step Tab 2 "b 2"     # over the text, into the panel
step Tab 3 "c 3"
step Tab 4 "a 14"    # round from the last face to the first
step shift+Tab 5 "c 35"
python3 "$here/wm_close.py" "$win"
wait_for grep -qx closed "$work/out" || fail "no close"
wait_tav || fail "tav did not end"
echo "1 passed, 0 failed"

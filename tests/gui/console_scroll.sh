#!/usr/bin/env bash
# Driven by xdotool: the console's view moves three rows a wheel notch and one row for Ctrl+Up
# or Ctrl+Down, and stops at the newest row; a drag along a row selects it for Ctrl+C. The row
# at the top of the view is read back that way: dragged over, copied, read by xclip.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"
source "$here/console-e2e.bash"

start_console
wait_line ">> "
enter 'repeat i 60 [print ["row" i]]'
wait_line "row 60"
wait_for find_face || fail "no console background under the window's top"

row_of() { local t; t=$(top_row); echo "${t#row }"; }
# at_row N: the view's top row is "row N".
at_row() { [ "$(top_row)" = "row $1" ]; }
expect_row() { wait_for at_row "$1" || fail "after $2 the top row is '$(top_row)', not 'row $1'"; }

newest=$(row_of)
[[ "$newest" =~ ^[0-9]+$ ]] && [ "$newest" -gt 30 ] || fail "the top row at the end is '$newest'"
xdotool click 4
expect_row $((newest - 3)) "a wheel notch up"
xdotool click 4 click 4
expect_row $((newest - 9)) "two more notches up"
xdotool key ctrl+Up
expect_row $((newest - 10)) "Ctrl+Up"
xdotool key ctrl+Down ctrl+Down
expect_row $((newest - 8)) "Ctrl+Down twice"
xdotool click 5
expect_row $((newest - 5)) "a wheel notch down"
xdotool click 5 click 5 click 5
expect_row "$newest" "three notches down, past the newest row"
xdotool key ctrl+Down
expect_row "$newest" "Ctrl+Down at the newest row"

# A drag over two rows copies the end of the first and the start of the second.
y=$((face_y + 5))
put_clip "$MARK"
xdotool mousemove --sync $((face_x + 300)) $((face_y + 200))
xdotool mousemove --sync $((face_x + 4)) "$y" mousedown 1
xdotool mousemove --sync $((face_x + 30)) $((y + 20)) mouseup 1
xdotool key --clearmodifiers ctrl+c
wait_for copied || fail "the two-row drag copied nothing"
got=$(clip)
[[ "$got" == "row $newest"$'\n'"ro"* ]] || fail "the two-row drag copied '$got'"

enter 'quit'
wait_tav || fail "tav did not end"
[ "$status" -eq 0 ] || fail "tav ended with $status"
echo "1 passed, 0 failed"

#!/usr/bin/env bash
# Driven by xdotool: the console's input line. Typing and Enter, the history on Up and Down,
# Ctrl+K, Ctrl+Z and Ctrl+Y, word jumps, and keys typed during an evaluation that wait for the
# next prompt. The input is read back by Ctrl+C with nothing selected, the screen by Alt+A and
# Ctrl+C.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"
source "$here/console-e2e.bash"

start_console
wait_line ">> "
enter "1 + 2"
wait_line "== 3"
enter "10 + 1"
wait_line "== 11"

xdotool key Up
expect_input "10 + 1" "Up"
xdotool key Up
expect_input "1 + 2" "Up twice"
xdotool key Up
expect_input "1 + 2" "Up past the oldest entry"
xdotool key Down
expect_input "10 + 1" "Down"
xdotool key Down
expect_input "" "Down back to the live input"

xdotool type --delay 15 "xyz"
xdotool key ctrl+k
expect_input "" "Ctrl+K"

xdotool type --delay 15 "ab"
xdotool key ctrl+z ctrl+z
expect_input "" "Ctrl+Z twice"
xdotool key ctrl+y ctrl+y
expect_input "ab" "Ctrl+Y twice"
xdotool key ctrl+k

xdotool type --delay 15 "one two"
xdotool key ctrl+Left
xdotool type "X"
expect_input "one Xtwo" "Ctrl+Left and X"
xdotool key ctrl+Right
xdotool type "Y"
expect_input "one XtwoY" "Ctrl+Right and Y"
xdotool key ctrl+k

# Keys typed while an evaluation runs wait for the next prompt, in their order.
enter "until [exists? %$work/go] 'busy"
enter "5 + 1"
touch "$work/go"
wait_line "== 6"
screen_text >"$work/screen"
grep -nxF -e "== busy" -e ">> 5 + 1" -e "== 6" "$work/screen" | cut -d: -f2- >"$work/order"
printf '%s\n' "== busy" ">> 5 + 1" "== 6" | diff - "$work/order" >&2 \
  || fail "the keys typed during the evaluation did not follow its result"

enter "quit"
wait_tav || fail "tav did not end"
[ "$status" -eq 0 ] || fail "tav ended with $status"
echo "1 passed, 0 failed"

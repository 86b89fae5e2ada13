#!/usr/bin/env bash
# Driven by xdotool: the console's input line and the clipboard. Shift+Home selection, Ctrl+C,
# Ctrl+X and Ctrl+V against xclip, a two-line paste that runs its first line, and Tab completion
# with one and with several candidates. The input is read back by Ctrl+C with nothing selected,
# the screen by Alt+A and Ctrl+C.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"
source "$here/console-e2e.bash"

start_console
wait_line ">> "

# Shift+Home from inside the input selects back to its start; Ctrl+C copies only that.
xdotool type --delay 15 "abc def"
xdotool key Left Left Left shift+Home
got=$(copy_with ctrl+c)
[ "$got" = "abc " ] || fail "Shift+Home and Ctrl+C copied '$got'"
got=$(copy_with ctrl+x)
[ "$got" = "abc " ] || fail "Ctrl+X copied '$got'"
expect_input "def" "Ctrl+X"
put_clip "pasted "
xdotool key ctrl+v
expect_input "pasted def" "Ctrl+V at the input's start"
xdotool key ctrl+k

# Two lines pasted: the first runs at once, the second waits in the next input.
put_clip $'100 + 1\n200 + 2'
xdotool key ctrl+v
wait_line "== 101"
expect_input "200 + 2" "a two-line paste"
! shows_line "== 202" || fail "the second pasted line ran without Enter"
xdotool key Return
wait_line "== 202"

# Tab: one candidate completes the word; several are listed after the prompt.
xdotool type --delay 15 "unles"
xdotool key Tab
expect_input "unless" "Tab with one candidate"
xdotool key ctrl+k
xdotool type --delay 15 "prin"
xdotool key Tab
wait_line ">> prin print"
expect_input "prin" "Tab with several candidates"
xdotool key ctrl+k

enter "quit"
wait_tav || fail "tav did not end"
[ "$status" -eq 0 ] || fail "tav ended with $status"
echo "1 passed, 0 failed"

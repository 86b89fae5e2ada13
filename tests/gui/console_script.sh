#!/usr/bin/env bash
# Scripts named on the command line run through the console: the console's options, the
# script's own arguments, its folder as the current one; while the window has not shown, what
# is printed reaches standard output and the process ends after the script with 0. With
# --catch, or when the script asks for input, the window shows and the console takes lines.
# Closing the console's window ends it as `quit` does.
set -euo pipefail
tav=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

fail() { echo "$1" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
printed() { grep -qxF "$1" "$work/out" || fail "expected line: $1"; }
run() {
  "$tav" "$@" >"$work/out" 2>"$work/err" &
  tav_pid=$!
}
console_window() {
  win=$(xdotool search --sync --onlyvisible --name '^Tav Console$' | head -n1)
  xdotool windowfocus --sync "$win"
}
ended_with() {
  wait_tav || fail "tav did not end"
  [ "$status" -eq "$1" ] || fail "tav ended with $status, expected $1"
}

mkdir "$work/elsewhere"
cp "$here/console_script.tav" "$work/elsewhere/s.tav"
cd "$work"
run elsewhere/s.tav one "two words"
ended_with 0
printed 'args ["one" "two words"] {one "two words"}'
printed 'folder elsewhere/'
printed 'script elsewhere/s.tav'
printed 'hidden true'

# The header is looked for, and what cannot run is told; the process still ends with 0.
printf 'print "no header"\n' >"$work/none.tav"
run none.tav
ended_with 0
printed '*** Error: Tav header not found!'
printf 'Tav []\nprint "before"\n1 / 0\nprint "after"\n' >"$work/error.tav"
run error.tav
ended_with 0
printed 'before'
printed '*** Math Error: attempt to divide by zero'
grep -qxF after "$work/out" && fail "the script went on after its error"

# --catch: the console shows at the script's first print (which also reached standard output,
# the window not being up yet) and takes lines after the script.
run --catch elsewhere/s.tav
console_window
printed 'args [] ""'
xdotool type --delay 20 'quit/return 5'
xdotool key Return
ended_with 5

# A script asking for input shows the console; the line typed is its answer, and the console,
# now seen, stays for more lines.
run elsewhere/s.tav ask
console_window
xdotool type --delay 20 'Ada'
xdotool key Return
wait_for test -f "$work/elsewhere/answer.txt" || fail "no answer written"
[ "$(cat "$work/elsewhere/answer.txt")" = "Ada" ] || fail "answer: $(cat "$work/elsewhere/answer.txt")"
xdotool type --delay 20 'quit'
xdotool key Return
ended_with 0
# Closing the window as a window manager does quits the same way: the settings are written.
cfg="$XDG_CONFIG_HOME/Tav/Tav-Console/console-cfg.tav"
rm -f "$cfg"
run
console_window
python3 "$here/wm_close.py" "$win"
ended_with 0
[ -f "$cfg" ] || fail "closing the window wrote no settings"
echo "1 passed, 0 failed"

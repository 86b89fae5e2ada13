#!/usr/bin/env bash
# request-font opens the font dialog at the font given; Enter answers it with that font
# written into a new font object; Escape cancels with none.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" -e "
  f: request-font/font make font! [name: {DejaVu Serif} size: 14 style: 'bold]
  print mold reduce [f/name f/size f/style f/weight]
  print mold request-font/mono
  print {end}" >"$work/out" 2>"$work/err" &
tav_pid=$!
fail() { echo "$1" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
printed() { grep -qxF "$1" "$work/out"; }

# answer KEY: waits for the dialog, focuses it, presses the key.
answer() {
  local box
  box=$(xdotool search --sync --name "^Select Font\$" | head -n1)
  xdotool windowfocus --sync "$box"
  xdotool key "$1"
}
answer Return
wait_for printed '["DejaVu Serif" 14 bold 700]' || fail "the chosen font was not answered"
answer Escape
wait_for printed "end" || fail "the cancelled dialog did not return"
wait_tav || fail "tav did not end"
[ "$(sed -n 2p "$work/out")" = "none" ] || fail "a cancelled dialog did not give none"
echo "1 passed, 0 failed"

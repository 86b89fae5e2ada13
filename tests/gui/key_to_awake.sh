#!/usr/bin/env bash
# The real tav in its own X server: keys typed with xdotool reach system/view/awake as the
# events the script prints; destroying the view posts the window's close and ends its loop.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" "$here/key_to_awake.tav" >"$work/out" 2>"$work/err" &
tav_pid=$!

wait_for loop_entered || { cat "$work/out" "$work/err" >&2; exit 1; }
win=$(xdotool search --sync --name '^tav-e2e-keys$' | head -n1)
xdotool windowfocus --sync "$win"
xdotool key --clearmodifiers ctrl+b Return shift+2 Left q

# The first window goes with its posted close while tav runs on: it opens a second one.
second=$(xdotool search --sync --name '^tav-e2e-second$' | head -n1)
if xdotool search --name '^tav-e2e-keys$' >/dev/null 2>&1; then
  echo "the first window is still there" >&2
  exit 1
fi
xdotool windowfocus --sync "$second"
xdotool key q

wait_tav || { echo "tav did not end" >&2; cat "$work/out" "$TAV_GUI_TRACE" >&2; exit 1; }
if [ "$status" -ne 0 ]; then
  echo "tav ended with status $status" >&2
  cat "$work/err" >&2
  exit 1
fi

expected='key-down left-control true false true
key-down #"B" true false true
key #"^B" true false true
key-up left-control false false true
key-up #"B" false false true
key-down #"^M" false false true
key #"^M" false false true
key-up #"^M" false false true
key-down left-shift false true true
key-down #"2" false true true
key #"@" false true true
key-up left-shift false false true
key-up #"2" false false true
key-down left false false true
key left false false true
key-up left false false true
key-down #"Q" false false true
key #"q" false false true
key-up #"Q" false false true
loop ended none
key-down #"Q" false false true
key #"q" false false true
key-up #"Q" false false true
second loop ended'
# xdotool lets go of a combination's modifiers before its key: that key-up has none.
got=$(cat "$work/out")
if [ "$got" != "$expected" ]; then
  echo "unexpected events:" >&2
  diff <(echo "$expected") <(echo "$got") >&2 || true
  cat "$work/err" >&2
  exit 1
fi
echo "1 passed, 0 failed"

#!/usr/bin/env bash
# An error nothing catches ends tav: it is printed, shown in an error box that waits to be
# closed, and the program exits with status -2.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" -e 'print "before" 1 / 0 print "after"' >"$work/out" 2>"$work/err" &
tav_pid=$!

box=$(xdotool search --sync --name '^Tav Error$' | head -n1)
xdotool windowfocus --sync "$box"
xdotool key Return
wait_tav || { echo "the error box did not close" >&2; exit 1; }
failed=0
[ "$status" -eq 254 ] || { echo "exit status $status, expected 254" >&2; failed=1; }
grep -q "attempt to divide by zero" "$work/out" || { echo "the error was not printed" >&2; failed=1; }
grep -q "attempt to divide by zero" "$work/err" || { echo "the error box text is not on stderr" >&2; failed=1; }
grep -qx "after" "$work/out" && { echo "the script went on after the error" >&2; failed=1; }
[ "$failed" -eq 0 ] || { cat "$work/out" "$work/err" >&2; exit 1; }
echo "1 passed, 0 failed"

#!/usr/bin/env bash
# Driven by xdotool: a text-list click selects a row and reports its index, a slider moved by
# a click on its track reports a value past zero, the wheel over a drop-list picks the next
# item, typing into a drop-down reports its text, a click on a tab switches the page and a
# click on a day sets the calendar's date. A progress bar shows its value.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" "$here/values_report.tav" >"$work/out" 2>"$work/err" &
tav_pid=$!
wait_for loop_entered || { cat "$work/out" "$work/err" >&2; exit 1; }
xdotool search --sync --name '^tav-e2e-values$' >/dev/null
fail() { echo "$1" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
printed() { grep -qxF "$1" "$work/out"; }

# The progress bar (client 380x10, 120 wide, at 25%) is filled on its first quarter only.
filled() { shot && [ "$(pixel 485 120)" != "$(pixel 570 120)" ]; }
wait_for filled || fail "the progress bar shows no value"
[ "$(pixel 570 120)" = "$(pixel 595 120)" ] || fail "the progress bar is filled past its value"

# where (screen point; the client origin is at 100,100) | what xdotool does there | the line
# reported. The calendar shows June 2026; its 22nd is at client 268x261.
cases=(
  "120 127|click 1|list 2"
  "300 122|click 1|slider true"
  "300 162|click 5|drop-list 2"
  "300 162|click 4|drop-list 1"
  "190 243|click 1|tab 2"
  "368 361|click 1|calendar 22-Jun-2026"
)
for c in "${cases[@]}"; do
  IFS='|' read -r where action want <<<"$c"
  # shellcheck disable=SC2086
  xdotool mousemove --sync 60 60 mousemove --sync $where $action
  wait_for printed "$want" || fail "expected: $want"
done

# The second tab's page (green) now covers the first's (blue).
page() { shot && [ "$(pixel 150 310)" = "0,200,0" ]; }
wait_for page || fail "the second tab's page did not show: $(pixel 150 310)"

# Typed text reaches the drop-down's text.
xdotool mousemove --sync 400 162 click 1
xdotool type "ab"
wait_for printed 'drop-down "ab"' || fail "the drop-down did not report its typed text"
echo "1 passed, 0 failed"

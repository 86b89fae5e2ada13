#!/usr/bin/env bash
# A click into a control moves the keyboard focus there: the control runs its on-focus (and is
# its window's selected face), the one left runs its on-unfocus, and typing lands in the
# clicked field.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" "$here/focus_click.tav" >"$work/out" 2>"$work/err" &
tav_pid=$!
wait_for loop_entered || { cat "$work/out" "$work/err" >&2; exit 1; }
xdotool search --sync --name '^tav-e2e-focus$' >/dev/null
fail() { echo "$1" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
printed() { grep -qxF "$1" "$work/out"; }
# Output since the last click; line numbers count from there.
since=0
fresh() { tail -n "+$((since + 1))" "$work/out"; }
line_of() { fresh | grep -nxF "$1" | head -n1 | cut -d: -f1; }
printed_since() { [ -n "$(line_of "$1")" ]; }

# where (screen point; the client origin is at 100,100) | the lines that must follow the click
cases=(
  "150 122|focus a true"
  "150 162|unfocus a|focus b true"
  "150 202|unfocus b|focus c true"
  "150 122|unfocus c|focus a true"
)
for c in "${cases[@]}"; do
  where=${c%%|*} want=${c#*|}
  since=$(wc -l <"$work/out")
  # shellcheck disable=SC2086
  xdotool mousemove --sync $where click 1
  IFS='|' read -r -a lines <<<"$want"
  for line in "${lines[@]}"; do
    wait_for printed_since "$line" || fail "after a click at $where, expected: $line"
  done
  # The control that lost the focus tells so before the new one tells it has it.
  if [ ${#lines[@]} -gt 1 ]; then
    [ "$(line_of "${lines[0]}")" -lt "$(line_of "${lines[1]}")" ] ||
      fail "focus told before unfocus"
  fi
done

# Typing goes to the field the last click focused.
xdotool type x
wait_for printed "text a x" || fail "the typed key did not reach the clicked field"
echo "1 passed, 0 failed"

#!/usr/bin/env bash
# Driven by xdotool: a text-list click selects a row and reports its index, a slider moved by
# a click on its track reports a value past zero.
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

# where (screen point) | the line reported; the client origin is at 100,100.
cases=(
  "120 127|list 2"
  "300 122|slider true"
)
for c in "${cases[@]}"; do
  where=${c%%|*} want=${c#*|}
  # shellcheck disable=SC2086
  xdotool mousemove --sync 60 60 mousemove --sync $where click 1
  wait_for printed "$want" || fail "expected: $want"
done
echo "1 passed, 0 failed"

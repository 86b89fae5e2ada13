#!/usr/bin/env bash
# Driven by xdotool: a right press over a face raises alt-down and opens its context menu;
# the item chosen raises `menu` with the word after the item's text (-1 without one), also
# from a submenu; a menu left with Escape raises nothing.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" "$here/menus_context.tav" >"$work/out" 2>"$work/err" &
tav_pid=$!
wait_for loop_entered || { cat "$work/out" "$work/err" >&2; exit 1; }
xdotool search --sync --name '^tav-e2e-menus$' >/dev/null
fail() { echo "$1" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
lines() { grep -c "$1" "$work/out" || true; }
visible() { xdotool search --onlyvisible --name '' 2>/dev/null | wc -l; }

# open: a right press over the base face (client origin 100,100), then wait for the popup.
open() {
  local before presses
  before=$(visible)
  presses=$(lines '^alt-down$')
  # --sync waits for a move: the pointer leaves first, as it may already stand there. Quick
  # presses at one spot would make a double click, which a right button ignores: each press
  # lands 20 pixels from the last.
  at=$((at == 150 ? 170 : 150))
  xdotool mousemove --sync 60 60 mousemove --sync "$at" 150 click 3
  wait_for eval '[ "$(lines "^alt-down$")" -gt "$presses" ]' || fail "no alt-down"
  wait_for eval '[ "$(visible)" -gt "$before" ]' || fail "no context menu shown"
}

at=150

# keys to reach the item | the line its menu event prints
cases=(
  "Down Return|menu say"
  "Down Down Return|menu -1"
  "Down Down Down Return|menu other"
  "Down Down Down Down Right Return|menu deep"
)
for c in "${cases[@]}"; do
  keys=${c%%|*} want=${c#*|}
  open
  # shellcheck disable=SC2086
  xdotool key --delay 30 $keys
  wait_for grep -qxF "$want" "$work/out" || fail "expected: $want"
done

# Escape closes the menu with nothing chosen: no event, and the window still takes input.
count=$(lines '^menu')
open
xdotool key Escape
open
[ "$(lines '^menu')" -eq "$count" ] || fail "a menu left with Escape raised an event"
xdotool key --delay 30 Up Return
wait_for grep -qxF "menu quit" "$work/out" || fail "the last item was not chosen"
wait_for grep -qxF closed "$work/out" || fail "the quit item's action did not run"

wait_tav || fail "tav did not end"
[ "$status" -eq 0 ] || fail "tav ended with $status"
echo "1 passed, 0 failed"

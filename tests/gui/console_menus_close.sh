#!/usr/bin/env bash
# Driven by xdotool: F12 hides the console's menu bar, and the window's close request ends tav
# with status 0 and saves the settings, the hidden bar and the history included.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"
source "$here/console-e2e.bash"

start_console
wait_line ">> "
xdotool key F12
bar_top_now() { find_face && [ "$face_y" -eq "$Y" ]; }
wait_for bar_top_now || fail "F12 did not hide the menu bar"
enter '2 + 2'
wait_line "== 4"
python3 "$here/wm_close.py" "$win"
wait_tav || fail "the close request did not end tav"
[ "$status" -eq 0 ] || fail "the close request ended with $status"
[ -f "$cfg" ] || fail "closing the window saved no settings"
grep -qxF 'menu-bar?: false' "$cfg" || fail "menu-bar? not saved as false: $(cat "$cfg")"
grep -qF '"2 + 2"' "$cfg" || fail "the history was not saved on close: $(cat "$cfg")"
echo "1 passed, 0 failed"

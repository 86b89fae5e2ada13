#!/usr/bin/env bash
# Driven by xdotool: the console's Settings dialog (Alt+O) applies a swatch at once, refuses a
# bad colour on OK and stays open, and Cancel closes it storing nothing: the saved settings keep
# the old background.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"
source "$here/console-e2e.bash"

start_console
wait_line ">> "
wait_for find_face || fail "no console background under the window's top"

# The settings dialog: a click on a swatch paints the console at once.
error_lines() { screen_text | grep -cF '***' || true; }
errors_before=$(error_lines)
xdotool key --clearmodifiers alt+o
dlg=$(xdotool search --sync --onlyvisible --name '^Settings$')
dlg=${dlg%%$'\n'*}
eval "$(xdotool getwindowgeometry --shell "$dlg")"
dx=$X dy=$Y
console_colour() { shot; pixel $((face_x + 500)) $((face_y + 300)); }
is_colour() { [ "$(console_colour)" = "$1" ]; }
xdotool mousemove --sync $((dx + 63)) $((dy + 40)) click 1
wait_for is_colour "0,43,54" || fail "the second background swatch did not apply: $(console_colour)"
keep swatch
# A bad colour in the background field: OK refuses it and the dialog stays open, so its next
# swatch still applies.
xdotool mousemove --sync $((dx + 278)) $((dy + 41)) click 1
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 15 "abc"
xdotool mousemove --sync $((dx + 131)) $((dy + 271)) click 1
xdotool mousemove --sync $((dx + 213)) $((dy + 40)) click 1
wait_for is_colour "255,255,255" || fail "the dialog did not stay open after a refused OK"
shot
keep refused
# Cancel closes it and stores nothing: the swatch's colour stays on screen only.
xdotool mousemove --sync $((dx + 203)) $((dy + 271)) click 1
gone() { ! xdotool search --onlyvisible --name '^Settings$' >/dev/null 2>&1; }
wait_for gone || fail "Cancel did not close the dialog"
# Without a window manager nothing gives the console window the keyboard back.
xdotool windowfocus --sync "$win"
# The dialog and its swatches' frames were made without an error reaching the console.
[ "$(error_lines)" = "$errors_before" ] || fail "the settings dialog reported errors"

enter "quit"
wait_tav || fail "tav did not end"
[ "$status" -eq 0 ] || fail "tav ended with $status"
grep -qxF 'background: 252.252.252' "$cfg" || fail "a colour was stored: $(grep background "$cfg")"
echo "1 passed, 0 failed"

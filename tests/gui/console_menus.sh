#!/usr/bin/env bash
# Driven by xdotool: the console's Help > Keyboard Shortcuts prints the thirteen shortcuts and a
# new prompt; F12 hides and shows the menu bar; the Settings dialog (Alt+O) applies a swatch at
# once, refuses a bad colour and stays open, and Cancel stores nothing; File > Quit and the
# window's close request end with status 0 and save the settings.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"
source "$here/console-e2e.bash"
cfg="$XDG_CONFIG_HOME/Tav/Tav-Console/console-cfg.tav"

start_console
wait_line ">> "
wait_for find_face || fail "no console background under the window's top"
bar_top=$Y
[ "$face_y" -gt "$bar_top" ] || fail "no menu bar above the console face"

visible() { xdotool search --onlyvisible --name '' 2>/dev/null | wc -l; }
# open_menu KEYS...: opens File by a click on the bar, then moves and chooses with the keys.
open_menu() {
  local before
  before=$(visible)
  xdotool mousemove --sync $((face_x + 300)) $((face_y + 100))
  xdotool mousemove --sync $((face_x + 15)) $(((bar_top + face_y) / 2)) click 1
  wait_for eval '[ "$(visible)" -gt "$before" ]' || fail "the File menu did not open"
  xdotool key --delay 40 "$@"
}

# Help is two menus right of File; its first entry is the shortcut list.
open_menu Right Right Return
wait_line $'\t\tF12            Toggle menu bar'
{ screen_text; echo; } >"$work/screen"
cat >"$work/shortcuts" <<'EOF'

		Ctrl + C       Copy selected text
		Ctrl + V       Paste
		Ctrl + X       Cut selected text
		Ctrl + A       Go to beginning of line
		Ctrl + E       Go to end of line
		Ctrl + H       Backspace
		Ctrl + Z       Undo
		Ctrl + Y       Redo
		Ctrl + L       Clear screen
		Ctrl + K       Delete line
		Alt + A        Select all the text
		Alt + O        Open settings dialog
		F12            Toggle menu bar
		
>> 
EOF
# The list ends the screen, followed by the fresh prompt.
tail -n 16 "$work/screen" | diff "$work/shortcuts" - >&2 || fail "the shortcut list differs"
[ "$(grep -c 'Ctrl + C' "$work/screen")" = 1 ] || fail "the list was printed more than once"

# F12 hides the bar (the face moves up to the window's top), F12 again shows it.
bar_hidden() { find_face && [ "$face_y" -eq "$bar_top" ]; }
bar_shown() { find_face && [ "$face_y" -gt "$bar_top" ]; }
xdotool key F12
wait_for bar_hidden || fail "F12 did not hide the menu bar"
xdotool key F12
wait_for bar_shown || fail "a second F12 did not show the menu bar"

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
face_colour="#FFFFFF"
# The dialog and its swatches' frames were made without an error reaching the console.
[ "$(error_lines)" = "$errors_before" ] || fail "the settings dialog reported errors"

# F12 once more: the bar stays hidden in the saved settings. File > Quit is then out of reach,
# so the bar comes back for it with the saved value written before.
xdotool key F12
wait_for bar_hidden || fail "F12 did not hide the menu bar again"
xdotool key F12
wait_for bar_shown || fail "F12 did not show the menu bar again"
enter '1 + 1'
wait_line "== 2"
# File > Quit: Run... first, then past the separator to Quit.
open_menu Down Down Return
wait_tav || fail "File > Quit did not end tav"
[ "$status" -eq 0 ] || fail "File > Quit ended with $status"
[ -f "$cfg" ] || fail "File > Quit saved no settings"
grep -qxF 'background: 252.252.252' "$cfg" || fail "a colour was stored: $(grep background "$cfg")"
grep -qxF 'menu-bar?: true' "$cfg" || fail "menu-bar? not saved as true: $(cat "$cfg")"
grep -qF '"1 + 1"' "$cfg" || fail "the history was not saved: $(cat "$cfg")"

# A second run hides the bar with F12 and is closed by its window's close request.
rm "$cfg"
unset face_colour
start_console
wait_line ">> "
xdotool key F12
bar_top_now() { find_face && [ "$face_y" -eq "$Y" ]; }
wait_for bar_top_now || fail "F12 did not hide the bar in the second run"
enter '2 + 2'
wait_line "== 4"
python3 "$here/wm_close.py" "$win"
wait_tav || fail "the close request did not end tav"
[ "$status" -eq 0 ] || fail "the close request ended with $status"
[ -f "$cfg" ] || fail "closing the window saved no settings"
grep -qxF 'menu-bar?: false' "$cfg" || fail "menu-bar? not saved as false: $(cat "$cfg")"
grep -qF '"2 + 2"' "$cfg" || fail "the history was not saved on close: $(cat "$cfg")"
echo "1 passed, 0 failed"

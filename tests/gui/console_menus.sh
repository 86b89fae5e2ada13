#!/usr/bin/env bash
# Driven by xdotool: the console's Help > Keyboard Shortcuts prints the thirteen shortcuts and a
# new prompt; F12 hides and shows the menu bar; File > Quit ends with status 0 and saves the
# settings.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"
source "$here/console-e2e.bash"

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

enter '1 + 1'
wait_line "== 2"
# File > Quit: Run... first, then past the separator to Quit.
open_menu Down Down Return
wait_tav || fail "File > Quit did not end tav"
[ "$status" -eq 0 ] || fail "File > Quit ended with $status"
[ -f "$cfg" ] || fail "File > Quit saved no settings"
grep -qxF 'menu-bar?: true' "$cfg" || fail "menu-bar? not saved as true: $(cat "$cfg")"
grep -qF '"1 + 1"' "$cfg" || fail "the history was not saved: $(cat "$cfg")"

echo "1 passed, 0 failed"

#!/usr/bin/env bash
# The console typed at: `tav` opens one "Tav Console" window with its menu bar (F12 hides and
# shows it); lines typed are evaluated (a block over two lines as one input, Esc dropping what
# was typed, an error not ending the loop); `quit` writes the settings with their keys in
# order; a second start has the window's size and the history back; `quit/return 3` ends with
# 3; File > Quit ends with 0 even when the settings cannot be written. What the console did is
# read back through the clipboard (the input line selected with Shift+Home and copied with
# Ctrl+C, or values the typed code puts there) and the settings file.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

cfg="$XDG_CONFIG_HOME/Tav/Tav-Console/console-cfg.tav"
fail() { echo "$1" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
keep() { [ -z "${TAV_KEEP_SHOT:-}" ] || cp "$work/shot.png" "$TAV_KEEP_SHOT-$1.png"; }
clip() { xclip -o -selection clipboard 2>/dev/null || true; }
clipped() { [ "$(clip)" = "$1" ]; }
# typed LINE: the line typed and entered.
typed() { xdotool type --delay 20 "$1"; xdotool key Return; }
# copied TEXT: the input line, selected back to its start and copied, reads TEXT.
copied() {
  xdotool key shift+Home ctrl+c
  wait_for clipped "$1" || fail "the input line reads '$(clip)', expected '$1'"
}
start() {
  "$tav" "$@" >"$work/out" 2>"$work/err" &
  tav_pid=$!
  win=$(xdotool search --sync --onlyvisible --name '^Tav Console$' | head -n1)
  xdotool windowfocus --sync "$win"
}

# First start: one window, 640x480 below its menu bar; the area below the bar at 200,200.
start
[ "$(xdotool search --onlyvisible --name '^Tav Console$' | wc -l)" -eq 1 ] || fail "not one console window"
eval "$(xdotool getwindowgeometry --shell "$win")"
[ "$WIDTH" -eq 640 ] && [ "$HEIGHT" -gt 480 ] || fail "console window is ${WIDTH}x$HEIGHT"
bar=$((HEIGHT - 480))
[ "$X" -eq 200 ] && [ "$Y" -eq $((200 - bar)) ] || fail "console window at $X,$Y, bar $bar"
top=$Y
shot
keep first
# The bar is the panel's colour, the console below it its own background (252.252.252).
[ "$(pixel 400 $((top + bar + 100)))" = "252,252,252" ] || fail "no console face below the bar"
[ "$(pixel 400 $((top + bar / 2)))" != "252,252,252" ] || fail "no menu bar"

# F12 hides the menu bar, F12 again shows it.
bar_shown() { shot; [ "$(pixel 400 $((top + bar / 2)))" != "252,252,252" ]; }
xdotool key F12
wait_for eval '! bar_shown' || fail "F12 left the menu bar"
xdotool key F12
wait_for bar_shown || fail "F12 again did not bring the menu bar back"

xdotool type --delay 20 "typed here"
copied "typed here"
xdotool key ctrl+k
typed "x: [1 2"
typed "3]"
typed "1 / 0"
typed "y: 1"
xdotool type --delay 20 "y: 2"
xdotool key Escape
typed "write-clipboard rejoin [mold x {|} y]"
wait_for clipped "[1 2
3]|1" || fail "the clipboard reads '$(clip)' after the block and the escape"

# Keys typed while an evaluation runs wait for the prompts after it, in order, also those
# behind an Enter or an Esc that the same pass of the loop reads: the evaluation below lasts
# until every key has been sent, so the console gets them all at once. (The clipboard cannot
# be read while the console is busy: it belongs to the console, which answers from its loop.)
typed "write %$work/busy {} until [exists? %$work/go] []"
wait_for test -e "$work/busy" || fail "the evaluation did not start"
typed "a: 1"
xdotool type --delay 20 "a: 2"
xdotool key Escape
typed "write-clipboard mold a"
touch "$work/go"
wait_for clipped "1" || fail "the clipboard reads '$(clip)' after keys typed during an evaluation"
xdotool windowsize --sync "$win" 700 $((400 + bar))
typed "quit"
wait_tav || fail "quit did not end tav"
[ "$status" -eq 0 ] || fail "quit ended with $status"

# The settings: the nine keys in order, then the line count and the history, newest first.
[ -f "$cfg" ] || fail "no settings file"
grep -o '^[a-z?-]*:' "$cfg" | tr '\n' ' ' >"$work/keys"
[ "$(cat "$work/keys")" = "win-pos: win-size: font-name: font-size: font-color: background: mouse-paste?: menu-bar?: dark-mode?: buffer-lines: history: " ] \
  || fail "settings keys: $(cat "$work/keys")"
head -n 3 "$cfg" | tr '\n' '|' | grep -qxF 'Tav [|	Purpose: "Tav Console Configuration File"|]|' \
  || fail "settings header: $(head -n 3 "$cfg")"
grep -qxF 'win-size: 700x400' "$cfg" || fail "window size not saved: $(grep win-size "$cfg")"
grep -qF "history: [\"quit\" \"write-clipboard mold a\" \"a: 1\" {write %$work/busy {} until [exists? %$work/go] []} \"write-clipboard rejoin [mold x {|} y]\" \"y: 1\" \"1 / 0\" \"3]\" \"x: [1 2\"]" "$cfg" \
  || fail "history: $(grep history "$cfg")"

# Second start: the size and the history are back.
start
eval "$(xdotool getwindowgeometry --shell "$win")"
[ "$WIDTH" -eq 700 ] && [ "$HEIGHT" -eq $((400 + bar)) ] || fail "restored window is ${WIDTH}x$HEIGHT"
xdotool key Up
copied "quit"
xdotool key Up
copied "write-clipboard mold a"
xdotool key ctrl+k
typed "quit/return 3"
wait_tav || fail "quit/return 3 did not end tav"
[ "$status" -eq 3 ] || fail "quit/return 3 ended with $status"

# A settings folder that cannot be written: File > Quit still ends tav, with 0, the old file
# left as it was and the failure on the error stream. (A folder in the temporary file's way
# stops the write even for root, whom a read-only folder does not stop.)
cp "$cfg" "$work/cfg-before"
mkdir "$cfg.tmp"
chmod a-w "$(dirname "$cfg")"
start
xdotool mousemove --sync $((200 + 20)) $((top + bar / 2)) click 1
wait_for eval '[ "$(xdotool search --onlyvisible --name "" 2>/dev/null | wc -l)" -gt 1 ]' || fail "no File menu"
xdotool key --delay 30 Down Down Return
wait_tav || fail "File > Quit did not end tav"
chmod u+w "$(dirname "$cfg")"
[ "$status" -eq 0 ] || fail "File > Quit ended with $status"
cmp -s "$cfg" "$work/cfg-before" || fail "the settings file changed"
grep -qF "Tav Console: the settings were not saved" "$work/err" || fail "no message on stderr"
echo "1 passed, 0 failed"

#!/usr/bin/env bash
# Driven by xdotool: windows the console opens over itself show their colours on the root
# screenshot, not black: one typed at the prompt (its loop runs inside the console's
# evaluation), then Help > About.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"
source "$here/console-e2e.bash"

start_console
wait_line ">> "
wait_for find_face || fail "no console background under the window's top"
bar_top=$Y
# shows_colour X Y RGB: a fresh root screenshot has that colour at that screen point.
shows_colour() { shot; [ "$(pixel "$1" "$2")" = "$3" ]; }
# window_at NAME: the named window's screen rectangle in X, Y, WIDTH, HEIGHT.
# A window found may be replaced by another before its geometry is read: look again until both
# steps meet the same window.
geometry_of() {
  local id geometry
  id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1)
  [ -n "$id" ] && geometry=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null) && eval "$geometry"
}
window_at() { wait_for geometry_of "$1" || fail "no window named $1"; }
# inside_console X Y: the point lies on the console's own face, so the window there covers it.
inside_console() { [ "$1" -gt "$face_x" ] && [ "$1" -lt "$((face_x + 600))" ] && [ "$2" -gt "$face_y" ] && [ "$2" -lt "$((face_y + 400))" ]; }

enter "view/options [backdrop 0.160.0 text {typed}] [text: {tav-e2e-typed} offset: $((face_x + 60))x$((face_y + 60))]"
window_at '^tav-e2e-typed$'
typed=$WINDOW
inside_console $((X + 3)) $((Y + 3)) || fail "the typed window does not lie over the console"
wait_for shows_colour $((X + 3)) $((Y + 3)) "0,160,0" \
  || { keep typed; fail "the typed window shows $(pixel $((X + 3)) $((Y + 3))), not its backdrop"; }
python3 "$here/wm_close.py" "$typed"
enter "40 + 2"
wait_line "== 42"

visible() { xdotool search --onlyvisible --name '' 2>/dev/null | wc -l; }
before=$(visible)
xdotool mousemove --sync $((face_x + 15)) $(((bar_top + face_y) / 2)) click 1
wait_for eval '[ "$(visible)" -gt "$before" ]' || fail "the File menu did not open"
# Help is two menus right of File; About follows the shortcut list and a separator.
xdotool key --delay 40 Right Right Down Return
window_at '^About$'
inside_console $((X + 5)) $((Y + 5)) || fail "the About box does not lie over the console"
wait_for shows_colour $((X + 5)) $((Y + 5)) "58,58,60" \
  || { keep about; fail "the About box shows $(pixel $((X + 5)) $((Y + 5))), not its backdrop"; }
keep about
echo "2 passed, 0 failed"

#!/usr/bin/env bash
# A window laid out by VID in the real tav: its faces show where the layout put them, a loose
# face follows the mouse inside its panel and stops at the panel's edge, and an alert opens
# over the window and closes on Enter. Events go through the standard dispatcher: a name typed
# into the field and a click on Greet write the greeting into the text face.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"
export TAV_E2E_OUT="$work/notes"
: >"$TAV_E2E_OUT"

"$tav" "$here/vid_window.tav" >"$work/out" 2>"$work/err" &
tav_pid=$!

fail() {
  echo "$1" >&2
  cp "$work/shot.png" /tmp/tav-vid-window-failed.png 2>/dev/null || true
  cat "$work/out" "$work/err" "$TAV_E2E_OUT" >&2
  exit 1
}
keep() { [ -z "${TAV_KEEP_SHOT:-}" ] || cp "$work/shot.png" "$TAV_KEEP_SHOT-$1.png"; }
noted() { grep -qx "$1" "$TAV_E2E_OUT"; }

wait_for loop_entered || fail "no event loop"
win=$(xdotool search --sync --name '^tav-e2e-vid$' | head -n1)

# The window's client area is at 100x100 on the screen; the panel at 10x60 inside it, the
# loose face at 10x10 inside the panel: screen 120,170 to 159,209.
shown() { shot && [ "$(pixel 122 172)" = "200,0,0" ] && [ "$(pixel 115 165)" = "40,40,40" ]; }
wait_for shown || fail "the layout never showed"
keep shown
[ "$(pixel 432 162)" = "0,0,200" ] || fail "the alert's base is not at 330x60"

# The greeting: a name typed into the field, then Greet puts "Hi " and the name in the text
# face, which shows dark glyphs on its light background.
read -r _ fx fy < <(grep '^field ' "$TAV_E2E_OUT")
read -r _ gx gy < <(grep '^greet ' "$TAV_E2E_OUT")
read -r _ tx ty tw th < <(grep '^greeting-box ' "$TAV_E2E_OUT")
xdotool mousemove --sync "$fx" "$fy" click 1
xdotool type --delay 20 "Ann"
typed() { shot && [ "$(convert "$work/shot.png" -crop "60x10+$((fx - 30))+$((fy - 5))" -format "%[fx:minima.r < 0.4]" info:)" = 1 ]; }
wait_for typed || fail "the typed name never showed in the field"
xdotool mousemove --sync "$gx" "$gy" click 1
greeted() { shot && [ "$(convert "$work/shot.png" -crop "${tw}x${th}+$tx+$ty" -format "%[fx:minima.r < 0.4]" info:)" = 1 ]; }
wait_for greeted || fail "the greeting never showed"
keep greeted

# A drag of 100,50 moves the face by as much.
xdotool mousemove --sync 130 180 mousedown 1 mousemove --sync 230 230 mouseup 1
wait_for noted "dropped 110x60" || fail "the first drag did not end at 110x60"
moved() { shot && [ "$(pixel 222 222)" = "200,0,0" ] && [ "$(pixel 122 172)" = "40,40,40" ]; }
wait_for moved || fail "the dragged face did not show at its new place"
keep dragged

# Dragged far right and up, it stops at the panel's edges: x at most 300 - 40, y at least 0.
xdotool mousemove --sync 240 240 mousedown 1 mousemove --sync 460 140 mouseup 1
wait_for noted "dropped 260x0" || fail "the second drag was not held inside the panel"
clamped() { shot && [ "$(pixel 371 161)" = "200,0,0" ] && [ "$(pixel 408 198)" = "200,0,0" ]; }
wait_for clamped || fail "the clamped face did not show at the panel's edge"
keep clamped

# A press on the blue base opens the alert, a window of its own; Enter closes it.
xdotool mousemove --sync 440 170 click 1
wait_for noted "alert shown" || fail "the alert's actor did not run"
alert=$(xdotool search --sync --name '^Message$' | head -n1)
# The alert is centred on the screen: its corner shows the window colour, not the black root.
eval "$(xdotool getwindowgeometry --shell "$alert")"
alert_shown() { shot && [ "$(pixel $((X + 3)) $((Y + 3)))" != "0,0,0" ]; }
wait_for alert_shown || fail "the alert never showed"
keep alert
xdotool windowfocus --sync "$alert"
xdotool key Return
wait_for noted "alert closed" || fail "Enter did not close the alert"

wait_tav || fail "tav did not end"
[ "$status" -eq 0 ] || fail "tav ended with status $status"
noted 'greeting "Hi Ann"' || fail "the text face does not hold the greeting"
noted closed || fail "view did not return"
echo "1 passed, 0 failed"

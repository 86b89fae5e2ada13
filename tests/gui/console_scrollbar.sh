#!/usr/bin/env bash
# Driven by xdotool: the console face's vertical scroll bar. Its thumb sits at the end while
# output arrives and follows the wheel; a click in the trough above the thumb shows the page
# before, and the thumb dragged to the top shows the oldest row. The row at the top of the view
# is read back by a drag over it, Ctrl+C and xclip; the thumb is found in screenshots.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"
source "$here/console-e2e.bash"

start_console
wait_line ">> "
wait_for find_face || fail "no console background under the window's top"
eval "$(xdotool getwindowgeometry --shell "$win")"
ext=14                                  # the style's scroll bar width
bar_x=$((X + WIDTH - ext / 2))          # the middle of the vertical bar
groove_top=$((face_y + ext))            # below the arrow buttons
groove_end=$((Y + HEIGHT - ext))

# The thumb's first and last rows on the bar's middle column (light rows on the darker
# groove); false when the bar shows no thumb.
thumb() {
  shot
  local rows
  rows=$(convert "$work/shot.png" -crop "1x$((groove_end - groove_top))+$bar_x+$groove_top" \
           -depth 8 txt:- | awk -F'[,:() ]+' 'NR > 1 && $4 >= 240 { print $2 }')
  [ -n "$rows" ] || return 1
  thumb_top=$((groove_top + $(head -n1 <<<"$rows")))
  thumb_end=$((groove_top + $(tail -n1 <<<"$rows")))
}
# at_end: the thumb reaches the groove's end.
at_end() { thumb && [ "$thumb_end" -ge $((groove_end - 3)) ]; }
thumb_above() { thumb && [ "$thumb_top" -lt "$1" ]; }

at_row() { [ "$(top_row)" = "$1" ]; }
expect_row() { wait_for at_row "$1" || fail "after $2 the top row is '$(top_row)', not '$1'"; }

# Output taller than the face: the thumb shows at the end, and more output keeps it there
# while it shrinks.
enter 'repeat i 100 [print ["row" i]]'
wait_line "row 100"
wait_for at_end || fail "after 100 rows the thumb is not at the end (${thumb_top:-?}..${thumb_end:-?})"
keep printed
first_length=$((thumb_end - thumb_top))
enter 'repeat i 100 [print ["more" i]]'
wait_line "more 100"
wait_for eval 'at_end && [ $((thumb_end - thumb_top)) -lt $first_length ]' \
  || fail "after 100 more rows the thumb is ${thumb_top:-?}..${thumb_end:-?}, first $first_length long"
newest=$(top_row)
[[ "$newest" =~ ^more\ [0-9]+$ ]] || fail "the top row at the end is '$newest'"
n=${newest#more }

# A wheel notch moves the view three rows and the thumb with it. (The pointer goes somewhere
# top_row does not start from: --sync waits for a move.)
end_top=$thumb_top
xdotool mousemove --sync $((face_x + 250)) $((face_y + 150)) click 4
expect_row "more $((n - 3))" "a wheel notch up"
wait_for thumb_above "$end_top" || fail "the thumb stayed at $thumb_top after the wheel"

# A click in the trough above the thumb: the page before, as many rows as the face shows.
page=$(( (Y + HEIGHT - face_y) / 18 ))
before=$thumb_top
xdotool mousemove --sync "$bar_x" $((groove_top + 10)) click 1
expect_row "more $((n - 3 - page))" "a click in the trough"
wait_for thumb_above "$before" || fail "the thumb stayed at $thumb_top after the page"
keep paged

# The thumb dragged to the top of the groove: the oldest row, the banner's.
thumb
xdotool mousemove --sync "$bar_x" $(( (thumb_top + thumb_end) / 2 )) mousedown 1
xdotool mousemove --sync "$bar_x" $((groove_top + 40))
xdotool mousemove --sync "$bar_x" $((face_y - 30)) mouseup 1
banner_at_top() { [[ "$(top_row)" == "--== Tav "*" ==--"* ]]; }
wait_for banner_at_top || fail "after the thumb dragged to the top the top row is '$(top_row)'"
wait_for eval 'thumb && [ $thumb_top -le $((groove_top + 1)) ]' \
  || fail "the dragged thumb is at $thumb_top, not at the groove's top $groove_top"
keep dragged

# Entering a line brings the view and the thumb back to the end.
enter 'print "back"'
wait_line "back"
wait_for at_end || fail "after new output the thumb is not at the end"

enter 'quit'
wait_tav || fail "tav did not end"
[ "$status" -eq 0 ] || fail "tav ended with $status"
echo "1 passed, 0 failed"

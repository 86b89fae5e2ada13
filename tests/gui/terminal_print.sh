#!/usr/bin/env bash
# The real tav in its own X server prints into a window with the console's terminal: each line
# of a slow loop shows while the loop runs, tokens show in their theme colours, and a burst of
# lines shows at once through the synchronous repaint while the script never returns to a loop.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"
# The script's notes go into the backend's trace, so that they stand in order with its lines.
export TAV_E2E_OUT="$TAV_GUI_TRACE" TAV_E2E_GO="$work/go"

"$tav" "$here/terminal_print.tav" >"$work/out" 2>"$work/err" &
tav_pid=$!

noted() { grep -q "^$1\$" "$TAV_GUI_TRACE" 2>/dev/null; }
fail() {
  echo "$1" >&2
  [ -f "$work/shot.png" ] && cp "$work/shot.png" /tmp/tav-terminal-print-failed.png
  cat "$work/err" >&2
  [ -n "${TAV_KEEP_SHOT:-}" ] && cp "$TAV_GUI_TRACE" "$TAV_KEEP_SHOT-trace"
  exit 1
}
wait_for noted "printed true" || fail "the first lines were never printed, or the window not shown"
read -r _ pad cw lh < <(grep '^cell ' "$TAV_GUI_TRACE")
# The window's client area is at 100x100 (no window manager here).
ox=100 oy=100

# rows N: how many of the first N text rows show ink in their first character cell, counted
# from the top until the first blank one.
rows() {
  local x=$(awk -v o=$ox -v p=$pad 'BEGIN { printf "%d", o + p }') w=${cw%.*}
  convert "$work/shot.png" -crop "${w}x$(($1 * lh))+$x+$oy" +repage -scale "1x$1!" \
    -depth 8 txt:- | awk -F'[(,)]' 'NR > 1 { if (!done && $3 < 245) n++; else done = 1 } END { print n + 0 }'
}

# The window was hidden until the first print showed it; the repaint forced right after shows.
shot
[ -n "${TAV_KEEP_SHOT:-}" ] && cp "$work/shot.png" "$TAV_KEEP_SHOT-first.png"
got=$(rows 9)
[ "$got" -eq 2 ] || fail "after the first two lines the screen shows $got rows, not 2"
touch "$work/go-0"

# Each printed line shows before the next is printed: the window's timer holds the program on
# each repaint of the loop until the screen is read.
for k in 1 2 3 4 5; do
  wait_for noted "painted $k" || fail "line $k was never painted"
  shot
  got=$(rows 9)
  [ -n "${TAV_KEEP_SHOT:-}" ] && cp "$work/shot.png" "$TAV_KEEP_SHOT-loop$k.png"
  [ "$got" -eq $((2 + k)) ] || fail "after x number $k the screen shows $got rows, not $((2 + k))"
  # The last shot is read once more below.
  [ $k -eq 5 ] || touch "$work/go-$k"
done

# The highlighted line (second row): each token holds pixels of exactly its theme colour.
# colours GEOMETRY: the colours of that part of the shot.
colours() { convert "$work/shot.png" -crop "$1" +repage -format %c histogram:info:-; }
# token COL LEN R,G,B
token() {
  local x y
  x=$(awk -v o=$ox -v p=$pad -v c=$1 -v w=$cw 'BEGIN { printf "%d", o + p + c * w }')
  y=$((oy + lh))
  [[ $(colours "$(awk -v n=$2 -v w=$cw 'BEGIN { printf "%d", n * w }')x$lh+$x+$y") == *"($3)"* ]] ||
    fail "no pixel of $3 in the token at column $1"
}
token 0 2 0,0,255        # x:
token 3 2 255,0,0        # 12
token 6 4 120,120,61     # "ab"
token 11 2 0,0,255       # 'w
# Words without an entry keep the text colour: the x lines are black.
[[ $(colours "${cw%.*}x$lh+$((ox + pad))+$((oy + 2 * lh))") == *"(0,0,0)"* ]] ||
  fail "the plain line is not black"
touch "$work/go-5"

# A burst of 30 lines: the 22nd repaints at once; the script then spins without a loop, so
# the bottom row is the line of 22 characters, and the 23rd line is not shown.
wait_for noted spinning || fail "the burst was never printed"
shot
[ -n "${TAV_KEEP_SHOT:-}" ] && cp "$work/shot.png" "$TAV_KEEP_SHOT-burst.png"
page=$((400 / lh))
row_y=$((oy + (page - 1) * lh + lh / 2))
ink() {
  local x=$(awk -v o=$ox -v p=$pad -v c=$1 -v w=$cw 'BEGIN { printf "%d", o + p + c * w }')
  convert "$work/shot.png" -crop "${cw%.*}x$((lh - 4))+$x+$((row_y - lh / 2 + 2))" +repage \
    -format '%[fx:minima.r < 0.9 ? 1 : 0]' info:
}
[ "$(ink 21)" = 1 ] || fail "the bottom row does not reach the 22nd character"
[ "$(ink 22)" = 0 ] || fail "the bottom row shows a line printed after the forced repaint"

touch "$work/go"
wait_tav || fail "tav did not end"
[ "$status" -eq 0 ] || fail "tav ended with status $status"
echo "1 passed, 0 failed"

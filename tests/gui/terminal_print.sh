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
# Screen reading costs a process or two each time: every look takes the window's part of the
# screen once (the client area is at 100x100, no window manager here) and answers all its
# questions in one pass. Coordinates below are the window's.
col_x() { awk -v p=$pad -v c=$1 -v w=$cw 'BEGIN { printf "%d", p + c * w }'; }
cell_w=${cw%.*}

# look: takes the shot; answers how many of the first 9 text rows show ink in their first
# character cell, counted from the top until the first blank one.
look() {
  xwd -root -silent | convert xwd:- -crop 600x400+100+100 +repage -write png:"$work/shot.png" \
    -crop "${cell_w}x$((9 * lh))+$pad+0" +repage -scale '1x9!' -depth 8 txt:- |
    awk -F'[(,)]' 'NR > 1 { if (!done && $3 < 245) n++; else done = 1 } END { print n + 0 }'
}
keep() { [ -z "${TAV_KEEP_SHOT:-}" ] || cp "$work/shot.png" "$TAV_KEEP_SHOT-$1.png"; }
# colours GEOMETRY...: for each part of the last shot, a line "N R,G,B" per colour in part N.
colours() {
  local parts=() g
  for g in "$@"; do
    parts+=( \( mpr:s -crop "$g" +repage -unique-colors -depth 8 -write txt:- +delete \) )
  done
  convert "$work/shot.png" -write mpr:s +delete "${parts[@]}" mpr:s null: |
    awk -F'[()]' '/^#/ { n++; next } { print n, $2 }'
}

# The window was hidden until the first print showed it; the repaint forced right after shows.
got=$(look)
keep first
[ "$got" -eq 2 ] || fail "after the first two lines the screen shows $got rows, not 2"
touch "$work/go-0"

# Each printed line shows before the next is printed: the window's timer holds the program on
# each repaint of the loop until the screen is read.
for k in 1 2 3 4 5; do
  wait_for noted "painted $k" || fail "line $k was never painted"
  got=$(look)
  keep "loop$k"
  [ "$got" -eq $((2 + k)) ] || fail "after x number $k the screen shows $got rows, not $((2 + k))"
  # The last shot is read once more below.
  [ $k -eq 5 ] || touch "$work/go-$k"
done

# The highlighted line (second row): each token holds pixels of exactly its theme colour; words
# without an entry keep the text colour (the first x line, black).
token() { echo "$(awk -v n=$2 -v w=$cw 'BEGIN { printf "%d", n * w }')x$lh+$(col_x $1)+$lh"; }
found=$(colours "$(token 0 2)" "$(token 3 2)" "$(token 6 4)" "$(token 11 2)" \
  "${cell_w}x$lh+$pad+$((2 * lh))")
expect=("1 0,0,255 x:" "2 255,0,0 12" "3 120,120,61 \"ab\"" "4 0,0,255 'w" "5 0,0,0 x")
for e in "${expect[@]}"; do
  read -r part rgb what <<<"$e"
  grep -qx "$part $rgb" <<<"$found" || fail "no pixel of $rgb in $what"
done
touch "$work/go-5"

# A burst of 30 lines: the 22nd repaints at once; the script then spins without a loop, so
# the bottom row is the line of 22 characters, and the 23rd line is not shown.
wait_for noted spinning || fail "the burst was never printed"
look >/dev/null
keep burst
bottom=$(( (400 / lh - 1) * lh + 2 ))
found=$(colours "${cell_w}x$((lh - 4))+$(col_x 21)+$bottom" "${cell_w}x$((lh - 4))+$(col_x 22)+$bottom")
inked() { awk -v p=$1 '$1 == p { split($2, c, ","); if (c[1] < 230) f = 1 } END { exit !f }' <<<"$found"; }
inked 1 || fail "the bottom row does not reach the 22nd character"
inked 2 && fail "the bottom row shows a line printed after the forced repaint"

touch "$work/go"
wait_tav || fail "tav did not end"
[ "$status" -eq 0 ] || fail "tav ended with status $status"
echo "1 passed, 0 failed"

# Sourced by the console's end-to-end tests after e2e-env.bash: starting the console and reading
# back what it shows through its own keys and the clipboard (xclip), never through a debug print.

fail() {
  echo "$1" >&2
  cat "$work/out" "$work/err" >&2 2>/dev/null
  exit 1
}
# Where the console keeps its settings.
cfg="$XDG_CONFIG_HOME/Tav/Tav-Console/console-cfg.tav"

keep() { [ -z "${TAV_KEEP_SHOT:-}" ] || cp "$work/shot.png" "$TAV_KEEP_SHOT-$1.png"; }

# Starts the console (no script: the read-eval-print loop) and waits for its window and its
# first prompt's event loop. Leaves the window id in `win`.
start_console() {
  "$tav" "$@" >"$work/out" 2>"$work/err" &
  tav_pid=$!
  win=$(xdotool search --sync --onlyvisible --name '^Tav Console$')
  win=${win%%$'\n'*}
  xdotool windowfocus --sync "$win"
  wait_for loop_entered || fail "the console's loop did not start"
}

clip() { xclip -selection clipboard -o 2>/dev/null || true; }
# xclip keeps serving what it put until another owner takes the clipboard: it runs apart.
put_clip() {
  clip_wanted=$1
  printf '%s' "$1" | xclip -selection clipboard -i >/dev/null 2>&1 &
  wait_for eval '[ "$(clip)" = "$clip_wanted" ]' || fail "xclip did not take the clipboard"
}
# A mark put on the clipboard first tells a fresh copy from an old one.
MARK='<nothing copied>'
copied() { [ "$(clip)" != "$MARK" ]; }
copy_with() {
  put_clip "$MARK"
  xdotool key --clearmodifiers "$@"
  wait_for copied || fail "nothing reached the clipboard after: $*"
  clip
}

# All the console shows, prompt and input included: Alt+A selects it, Ctrl+C copies it; End
# drops the selection again.
screen_text() {
  copy_with alt+a ctrl+c
  xdotool key --clearmodifiers End
}
# The input line alone: Ctrl+C with nothing selected copies it.
input_text() { copy_with ctrl+c; }
# expect_input TEXT WHAT: the input line holds exactly TEXT.
expect_input() {
  local got
  got=$(input_text)
  [ "$got" = "$1" ] || fail "after $2 the input is '$got', not '$1'"
}


# The text of the row at the top of the console's view (find_face first): a drag from its left edge to far right of it.
top_row() {
  local y=$((face_y + 5))
  put_clip "$MARK"
  xdotool mousemove --sync $((face_x + 300)) $((face_y + 200))
  xdotool mousemove --sync $((face_x + 4)) "$y" mousedown 1
  xdotool mousemove --sync $((face_x + 400)) "$y" mouseup 1
  xdotool key --clearmodifiers ctrl+c
  wait_for copied || fail "the drag copied nothing"
  clip
}

# Polls the console's text until it holds a line equal to the given one.
shows_line() { screen_text | grep -qxF -- "$1"; }
wait_line() { wait_for shows_line "$1" || fail "the console never showed: $1"; }

# Types a line and enters it.
enter() {
  xdotool type --delay 15 -- "$1"
  xdotool key Return
}

# The console face's client rectangle: `face_x`, `face_y` (screen) below any menu bar, found
# as the first row of the console's background colour (`face_colour`, the default one when
# unset) under the window's top; false while there is none.
find_face() {
  eval "$(xdotool getwindowgeometry --shell "$win")"
  shot
  local col y
  col=$(convert "$work/shot.png" -crop "1x120+$((X + 200))+$Y" -depth 8 txt:- | tail -n +2)
  face_x=$X
  face_y=
  y=0
  while read -r line; do
    if [[ "$line" == *"${face_colour:-#FCFCFC}"* ]]; then face_y=$((Y + y)); break; fi
    y=$((y + 1))
  done <<<"$col"
  [ -n "$face_y" ]
}

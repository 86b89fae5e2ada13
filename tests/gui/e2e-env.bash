# Sourced by the end-to-end tests: a private Xvfb and the environment every GUI test sets.
# Leaves DISPLAY set and "$work" as a fresh folder; the server ends with the test.

work=$(mktemp -d)
mkdir -m 0700 "$work/runtime" && mkdir "$work/config" "$work/cache"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp 3>"$work/display" \
  >/dev/null 2>"$work/xvfb.log" &
xvfb_pid=$!
# Runs on every exit, also one that set -e caused: nothing in it may stop it early.
cleanup() {
  set +e
  if [ -n "${tav_pid:-}" ]; then kill "$tav_pid" 2>/dev/null; fi
  kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Polls a condition (a command) until it holds, for at most 10 seconds. A condition that reads
# output anew at each poll goes through eval in single quotes: `wait_for eval '[ "$(f)" -gt 2 ]'`.
wait_for() {
  local deadline=$((SECONDS + 10))
  until "$@"; do
    if [ $SECONDS -ge $deadline ]; then
      echo "timed out waiting for: $*" >&2
      return 1
    fi
    sleep 0.02
  done
}

# A search walks the window tree, and a window destroyed during the walk (a dialog closing as
# the next one opens) ends it with an X BadWindow error: such a search is made again.
xdotool() {
  if [ "${1:-}" != search ]; then command xdotool "$@"; return; fi
  local out tries=0
  until out=$(command xdotool "$@" 2>"$work/xdotool.err"); do
    tries=$((tries + 1))
    if [ $tries -ge 20 ] || ! grep -q BadWindow "$work/xdotool.err"; then
      cat "$work/xdotool.err" >&2
      return 1
    fi
  done
  [ -z "$out" ] || printf '%s\n' "$out"
}

# True once the tav under test (tav_pid) has ended.
finished() { ! kill -0 "$tav_pid" 2>/dev/null; }

# Waits for the tav under test to end and leaves its exit status in `status`; false when it
# did not end in time.
wait_tav() {
  wait_for finished || return 1
  status=0
  wait "$tav_pid" || status=$?
  tav_pid=
}

# Xvfb writes its display number once it accepts clients.
display_ready() { grep -q '^[0-9]' "$work/display" 2>/dev/null; }
wait_for display_ready || { cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

export QT_QPA_PLATFORM=xcb
export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime"
export FONTCONFIG_FILE="$(cd "$(dirname "${BASH_SOURCE[0]}")/../fixtures" && pwd)/fonts.conf"
export QT_SCALE_FACTOR=1 QT_IM_MODULE=none QT_QPA_PLATFORMTHEME=generic
export QT_MEDIA_BACKEND=gstreamer LANG=C.UTF-8
export TAV_GUI_TRACE="$work/trace"

# What the tests wait on and read back: the program's first loop, and the screen's pixels.
loop_entered() { grep -q '^loop 1$' "$TAV_GUI_TRACE" 2>/dev/null; }
shot() { xwd -root -silent | convert xwd:- png:"$work/shot.png"; }
# pixel X Y: the R,G,B of the last shot at that screen point.
pixel() { convert "$work/shot.png" -format "%[fx:int(255*p{$1,$2}.r)],%[fx:int(255*p{$1,$2}.g)],%[fx:int(255*p{$1,$2}.b)]" info:; }

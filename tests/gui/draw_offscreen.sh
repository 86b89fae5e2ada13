#!/usr/bin/env bash
# The real tav with no display at all draws onto images: `draw` needs no window, the
# pixels it reports are the block's, and a refused block reaches the script's try.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/draw_offscreen.tav" "$work/"
status=0
(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$tav" draw_offscreen.tav \
  >"$work/out" 2>"$work/err") || status=$?
expected="40x20 255.0.0.0 0.0.255.0 255.255.255.0
255.0.0.0 0.0.255.0
0.255.0.0 0.0.0.255
make image! [0x10 #{}]
draw-invalid [bogus]
done"
if [ "$status" -ne 0 ] || [ "$(cat "$work/out")" != "$expected" ]; then
  echo "tav ended with status $status; printed:" >&2
  cat "$work/out" "$work/err" >&2
  exit 1
fi
[ -s "$work/draw-offscreen.png" ] || { echo "no PNG saved" >&2; exit 1; }
[ -n "${TAV_KEEP_SHOT:-}" ] && cp "$work/draw-offscreen.png" "$TAV_KEEP_SHOT"
echo "1 passed, 0 failed"

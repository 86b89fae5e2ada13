#!/usr/bin/env bash
# The clipboard is shared with another program (xclip): text and files written by tav are
# read by it, text it puts is read back by tav with LF line ends, and an image goes out as
# PNG and comes back equal.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

"$tav" "$here/clipboard_roundtrip.tav" "$work/go" >"$work/out" 2>"$work/err" &
tav_pid=$!

printed() { grep -qxF "$1" "$work/out"; }
expect() {
  wait_for printed "$1" || { echo "expected line: $1" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
}
clip() { xclip -selection clipboard "$@"; }
# xclip keeps serving what it put until another owner takes the clipboard: it runs apart.
put() { clip -i "$@" >/dev/null 2>&1 & }
# holds TEXT: the clipboard's text starts with TEXT.
holds() { [ "$(clip -o 2>/dev/null | head -c ${#1})" = "$1" ]; }

expect "wrote text true"
got=$(clip -o)
[ "$got" = "x" ] || { echo "xclip read '$got', expected 'x'" >&2; exit 1; }
printf 'from xclip' | put
wait_for holds "from xclip"
touch "$work/go-1"
expect 'read text "from xclip"'

printf 'one\r\ntwo\n' | put
wait_for holds "one"
touch "$work/go-2"
expect 'read lines "one^/two^/"'

expect "wrote image true"
clip -t TARGETS -o | grep -qx 'image/png' || { echo "no PNG offered" >&2; clip -t TARGETS -o >&2; exit 1; }
clip -t image/png -o >"$work/out.png"
identify -format '%m %wx%h\n' "$work/out.png" | grep -qx 'PNG 3x2' \
  || { echo "not a 3x2 PNG: $(identify "$work/out.png" 2>&1)" >&2; exit 1; }
# The PNG comes back from another owner: tav decodes what xclip serves.
put -t image/png "$work/out.png"
# tav's own offer holds image/png too: xclip has the clipboard once PNG is all it offers.
xclip_owns_png() { [ "$(clip -t TARGETS -o 2>/dev/null | grep -v '^TARGETS$' | tr '\n' ' ')" = "image/png " ]; }
wait_for xclip_owns_png || { echo "xclip did not take the clipboard" >&2; clip -t TARGETS -o >&2; exit 1; }
touch "$work/go-3"
expect "read image true true"

expect "wrote files true"
clip -t text/uri-list -o | tr -d '\r' >"$work/uris"
printf 'file:///tmp/a.txt\nfile:///tmp/b%%20c.txt\n' | diff - "$work/uris" \
  || { echo "uri list differs" >&2; exit 1; }
touch "$work/go-4"
expect 'read files [%/tmp/a.txt %"/tmp/b c.txt"]'

expect "wrote none true"
touch "$work/go-5"
expect "read none none"
expect "done"

wait_tav || { echo "tav did not end" >&2; exit 1; }
[ "$status" -eq 0 ] || { echo "tav ended with $status" >&2; cat "$work/err" >&2; exit 1; }
echo "1 passed, 0 failed"

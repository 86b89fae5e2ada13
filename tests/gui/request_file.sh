#!/usr/bin/env bash
# request-file opens the file dialog; typing a file's name and Enter answers it with that
# file; a save dialog takes a name that does not exist yet; Escape cancels with none.
set -euo pipefail
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e-env.bash"

mkdir "$work/files"
echo text >"$work/files/pick.txt"
"$tav" -e "
  print mold request-file/title/file {tav-e2e-open} %$work/files/
  print mold request-file/save/title {tav-e2e-save}
  print mold request-file/title {tav-e2e-cancel}
  print {end}" >"$work/out" 2>"$work/err" &
tav_pid=$!
fail() { echo "$1" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
printed() { grep -qxF "$1" "$work/out"; }

# answer TITLE KEYS...: waits for the dialog, focuses it, types into it.
answer() {
  local title=$1
  shift
  local box
  box=$(xdotool search --sync --name "^$title\$" | head -n1)
  xdotool windowfocus --sync "$box"
  "$@"
}
answer tav-e2e-open xdotool type --delay 20 "pick.txt"
xdotool key Return
wait_for printed "%$work/files/pick.txt" || fail "the opened file was not answered"
answer tav-e2e-save xdotool type --delay 20 "$work/files/new.txt"
xdotool key Return
wait_for printed "%$work/files/new.txt" || fail "the saved name was not answered"
answer tav-e2e-cancel xdotool key Escape
wait_for printed "end" || fail "the cancelled dialog did not return"
wait_tav || fail "tav did not end"
[ "$(sed -n 3p "$work/out")" = "none" ] || fail "a cancelled dialog did not give none"
echo "1 passed, 0 failed"

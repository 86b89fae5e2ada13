#!/usr/bin/env bash
# tav with a display that cannot be reached runs its script without windows: work that needs
# none goes on, and making a window raises an error naming the display.
set -euo pipefail
tav=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORMTHEME=generic LANG=C.UTF-8
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

failed=0
for display in ":4321" "nowhere:7"; do
  status=0
  DISPLAY=$display "$tav" -e "
    img: make image! [4x4 10.20.30]
    print img/1
    print mold try [view/no-wait make face! [type: 'window size: 10x10]]
    print \"after\"" >"$work/out" 2>"$work/err" || status=$?
  expected=$(printf '10.20.30.0\n*access*cannot-open*display %s*\nafter' "$display")
  # shellcheck disable=SC2053
  if [ "$status" -ne 0 ] || [[ "$(tr -s ' \n' ' ' <"$work/out")" != $(tr -s ' \n' ' ' <<<"$expected") ]]; then
    echo "DISPLAY=$display: status $status, output:" >&2
    cat "$work/out" "$work/err" >&2
    failed=1
  fi
done
[ "$failed" -eq 0 ] || exit 1
echo "1 passed, 0 failed"

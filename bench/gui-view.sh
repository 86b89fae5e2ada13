#!/usr/bin/env bash
# The GUI against Python's tkinter, under a private Xvfb: a window of 200 faces (texts,
# fields, buttons, a base face with a Draw block) from its opening to its first painted frame,
# then 1,000 successive changes of one face's text, each shown. Each side runs BENCH_RUNS
# times (default 5), interleaved; the medians and the ratios Tav/tkinter are printed (below
# 1.0: Tav is faster).
# Usage: bash bench/gui-view.sh [BIN-DIR]
set -euo pipefail
bin=${1:-build/bin}
here=$(cd "$(dirname "$0")" && pwd)
runs=${BENCH_RUNS:-5}

work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp 3>"$work/display" \
  >/dev/null 2>"$work/xvfb.log" &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 500); do grep -q '^[0-9]' "$work/display" 2>/dev/null && break; sleep 0.02; done
export DISPLAY=":$(head -n1 "$work/display")"
export QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1 QT_IM_MODULE=none QT_QPA_PLATFORMTHEME=generic
export LANG=C.UTF-8 FONTCONFIG_FILE="$here/../tests/fixtures/fonts.conf"

for run in $(seq "$runs"); do
  "$bin/tav" "$here/gui-view.tav" >>"$work/tav.out"
  python3 "$here/gui-view.py" >>"$work/tk.out"
done

median() { grep "^$1 " "$2" | awk '{print $2}' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
printf '%-12s %10s %10s %8s\n' measure "tav ms" "tk ms" ratio
for m in first-frame changes; do
  t=$(median "$m" "$work/tav.out")
  k=$(median "$m" "$work/tk.out")
  printf '%-12s %10s %10s %8s\n' "$m" "$t" "$k" "$(awk -v t="$t" -v k="$k" 'BEGIN {printf "%.2f", t / k}')"
done

#!/usr/bin/env bash
# Printing 100,000 lines into the console's terminal, shown in a window, against IDLE's shell
# window (Python's idlelib, in-process) printing the same lines, under a private Xvfb. The
# time runs from the first print to the last line shown. Each side runs BENCH_RUNS times
# (default 1: IDLE takes minutes), interleaved; the medians and how many times faster Tav is
# are printed (the aim: 10 or more). BENCH_LINES changes the count.
# Usage: bash bench/terminal-print.sh [BIN-DIR]
set -euo pipefail
bin=${1:-build/bin}
here=$(cd "$(dirname "$0")" && pwd)
runs=${BENCH_RUNS:-1}
python=${BENCH_PYTHON:-python3}
export BENCH_LINES=${BENCH_LINES:-100000}

if ! "$python" -c 'import idlelib.pyshell' 2>/dev/null; then
  echo "terminal-print: $python has no idlelib (Debian: the idle package)" >&2
  exit 2
fi

work=$(mktemp -d)
mkdir -m 0700 "$work/runtime"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp 3>"$work/display" \
  >/dev/null 2>"$work/xvfb.log" &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 500); do grep -q '^[0-9]' "$work/display" 2>/dev/null && break; sleep 0.02; done
export DISPLAY=":$(head -n1 "$work/display")"
export QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1 QT_IM_MODULE=none QT_QPA_PLATFORMTHEME=generic
export LANG=C.UTF-8 FONTCONFIG_FILE="$here/../tests/fixtures/fonts.conf" XDG_RUNTIME_DIR="$work/runtime"

for run in $(seq "$runs"); do
  BENCH_OUT="$work/tav.run" "$bin/tav" "$here/terminal-print.tav" >/dev/null
  "$python" "$here/terminal-print.py" >"$work/idle.run"
  # Both must end showing the last line.
  for side in tav idle; do
    if ! grep -q "^last .line $((BENCH_LINES - 1)).\$" "$work/$side.run"; then
      echo "terminal-print: $side did not end on the last line:" >&2
      cat "$work/$side.run" >&2
      exit 1
    fi
    cat "$work/$side.run" >>"$work/$side.out"
  done
done

median() { grep '^print ' "$1" | awk '{print $2}' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
t=$(median "$work/tav.out")
k=$(median "$work/idle.out")
printf '%-22s %10s %10s %12s\n' measure "tav ms" "idle ms" "idle/tav"
printf '%-22s %10s %10s %12s\n' "print $BENCH_LINES lines" "$t" "$k" \
  "$(awk -v t="$t" -v k="$k" 'BEGIN { printf "%.1fx", k / (t > 0 ? t : 1) }')"

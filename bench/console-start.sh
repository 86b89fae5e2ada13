#!/usr/bin/env bash
# The console's start against IDLE and a Tk text-widget console (wish), under a private Xvfb:
# from launching the process to its prompt being up and waiting for keys. Each side runs
# BENCH_RUNS times (default 5), interleaved; the medians (ms) and the ratios Tav/other are
# printed (below 1.0: Tav is faster). tkcon is not among the installed packages: wish with a
# text widget stands in for a Tk console.
# Usage: bash bench/console-start.sh [BIN-DIR]
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
runs=${BENCH_RUNS:-5}

work=$(mktemp -d)
# -noreset: the server is not reset (keymap compiled anew) each time its only client leaves.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp -noreset 3>"$work/display" \
  >/dev/null 2>"$work/xvfb.log" &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 500); do grep -q '^[0-9]' "$work/display" 2>/dev/null && break; sleep 0.02; done
export DISPLAY=":$(head -n1 "$work/display")"
export QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1 QT_IM_MODULE=none QT_QPA_PLATFORMTHEME=generic
export LANG=C.UTF-8 FONTCONFIG_FILE="$here/../tests/fixtures/fonts.conf"
# Fresh settings for every program: none reads a file left by an earlier run.
mkdir -m 0700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
mkdir -p "$HOME"

for run in $(seq "$runs"); do
  for kind in tav idle wish; do
    export XDG_CONFIG_HOME="$work/config-$kind-$run"
    python3 "$here/console-start.py" "$kind" "$bin/tav" "$work/trace" | sed "s/^/$kind /" >>"$work/times"
  done
done

median() { grep "^$1 " "$work/times" | awk '{print $3}' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
t=$(median tav)
printf '%-8s %10s %8s\n' console "start ms" "tav/it"
for kind in tav idle wish; do
  m=$(median "$kind")
  printf '%-8s %10s %8s\n' "$kind" "$m" "$(awk -v t="$t" -v m="$m" 'BEGIN {printf "%.2f", t / m}')"
done

#!/usr/bin/env bash
# Return and exit travel as a returned status, never as a C++ exception: one million calls
# that return early should cost about what the same calls falling off the end cost.
# Usage: bash bench/return-cost.sh [BIN-DIR]
set -euo pipefail
bin=${1:-build/bin}
here=$(cd "$(dirname "$0")" && pwd)
runs=${BENCH_RUNS:-5}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
time_one() { /usr/bin/time -f %e "$bin/tav-eval" "$1" 2>&1 >/dev/null | tail -1; }
ret=$(for _ in $(seq "$runs"); do time_one "$here/internal/return-early.tav"; done | median)
fall=$(for _ in $(seq "$runs"); do time_one "$here/internal/fall-through.tav"; done | median)
awk -v r="$ret" -v f="$fall" 'BEGIN { printf "return early %.3fs, fall through %.3fs, ratio %.2f\n", r, f, r / f }'

#!/usr/bin/env bash
# The collector keeps memory bounded: building and dropping 1 GB of strings must stay at a
# small, fixed resident size. Prints the run's time and peak resident memory.
# Usage: bash bench/memory-bound.sh [BIN-DIR]
set -euo pipefail
bin=${1:-build/bin}
here=$(cd "$(dirname "$0")" && pwd)
/usr/bin/time -f "string churn (1 GB built and dropped): %es, peak resident %M KB" \
  "$bin/tav-eval" "$here/internal/string-churn.tav" >/dev/null

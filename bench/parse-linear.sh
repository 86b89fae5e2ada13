#!/usr/bin/env bash
# Parse keeps no per-step state that grows with the input: a 2 MB text should take about
# twice as long as a 1 MB one (ratio near 2; near 4 would mean a quadratic step).
# Usage: bash bench/parse-linear.sh [BIN-DIR]
set -euo pipefail
bin=${1:-build/bin}
here=$(cd "$(dirname "$0")" && pwd)
"$bin/tav-eval" "$here/internal/parse-linear.tav"

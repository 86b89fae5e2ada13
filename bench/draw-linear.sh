#!/usr/bin/env bash
# Draw keeps no per-command state that grows with the block: 100,000 commands should take
# about twice as long as 50,000 (ratio near 2; near 4 would mean a quadratic step).
# Runs the GUI program on Qt's offscreen platform, drawing on an image.
# Usage: bash bench/draw-linear.sh [BIN-DIR]
set -euo pipefail
bin=${1:-build/bin}
here=$(cd "$(dirname "$0")" && pwd)
QT_QPA_PLATFORM=offscreen "$bin/tav" "$here/internal/draw-linear.tav"

#!/usr/bin/env bash
# What one change costs in a graph of 1,000 reactive relations: a chain that the change runs
# through end to end, and a fan where it runs one reaction out of the thousand.
# Usage: bash bench/reactive-change.sh [BIN-DIR]
set -euo pipefail
bin=${1:-build/bin}
here=$(cd "$(dirname "$0")" && pwd)
"$bin/tav-eval" "$here/internal/reactive-change.tav"

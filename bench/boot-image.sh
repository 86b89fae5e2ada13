#!/usr/bin/env bash
# Start-up to the first evaluation, two ways: from the embedded boot image (the ordinary
# start) and from the same boot sources scanned as text (tav-eval's --boot-text road, given
# the list of sources the build wrote next to the image). Both evaluate `print 1 + 1`.
# Prints the median wall and CPU times of each, the ratio text / image (above 1.0: the image
# starts faster), the same ratio over what each costs beyond a process that does nothing
# (`true`, timed alongside), and, where perf can count them, the median instructions of each.
#
# usage: bash bench/boot-image.sh [BIN-DIR]
#   BIN-DIR        the directory holding tav-eval (default build/bin); the source list is
#                  BIN-DIR/../generated/boot-sources.txt
# environment:
#   BENCH_RUNS     runs each way, interleaved (default 21)
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bin=${1:-build/bin}
runs=${BENCH_RUNS:-21}

die() { echo "boot-image: $*" >&2; exit 2; }

[[ $runs =~ ^[1-9][0-9]*$ ]] || die "BENCH_RUNS must be a positive whole number"
tav=$(cd "$bin" 2>/dev/null && pwd)/tav-eval
[ -x "$tav" ] || die "no tav-eval in $bin (build first: make build)"
list=$(cd "$bin/.." && pwd)/generated/boot-sources.txt
[ -f "$list" ] || die "no list of boot sources at $list (build first: make build)"
python=$(command -v python3) || die "python3 not found"

work=$(mktemp -d "${TMPDIR:-/tmp}/tav-boot-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

bare_cmd=("$(command -v true)")
image_cmd=("$tav" -e "print 1 + 1")
text_cmd=("$tav" --boot-text "$list" -e "print 1 + 1")

# One timed run: appends "wall cpu" to the way's file; a wrong output or status stops all.
run_one() {
  local way=$1; shift
  local line
  line=$("$python" "$here/measure.py" 60 "$work/out" "$work/err" "$@") || die "measure.py failed"
  read -r wall cpu status <<<"$line"
  [ "$status" = 0 ] || die "$way: exit status $status: $(head -c 300 "$work/err")"
  [ "$way" = bare ] || [ "$(cat "$work/out")" = 2 ] ||
    die "$way: printed $(head -c 300 "$work/out") instead of 2"
  echo "$wall $cpu" >>"$work/$way.times"
}

# Interleaved, so that a change in the machine's load falls on both ways alike.
for ((i = 0; i < runs; i++)); do
  run_one bare "${bare_cmd[@]}"
  if ((i % 2)); then
    run_one text "${text_cmd[@]}"; run_one image "${image_cmd[@]}"
  else
    run_one image "${image_cmd[@]}"; run_one text "${text_cmd[@]}"
  fi
done

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
image_wall=$(cut -d' ' -f1 "$work/image.times" | median)
text_wall=$(cut -d' ' -f1 "$work/text.times" | median)
image_cpu=$(cut -d' ' -f2 "$work/image.times" | median)
text_cpu=$(cut -d' ' -f2 "$work/text.times" | median)
bare_wall=$(cut -d' ' -f1 "$work/bare.times" | median)
bare_cpu=$(cut -d' ' -f2 "$work/bare.times" | median)

echo "start-up to the first evaluation, median of $runs runs each"
awk -v i="$image_wall" -v t="$text_wall" -v ic="$image_cpu" -v tc="$text_cpu" \
    -v b="$bare_wall" -v bc="$bare_cpu" '
  function ratio(x, y) { return y > 0 ? x / y : 0 }
  BEGIN {
  printf "  %-30s %9s %9s\n", "", "wall ms", "cpu ms"
  printf "  %-30s %9.2f %9.2f\n", "a process that does nothing", b * 1000, bc * 1000
  printf "  %-30s %9.2f %9.2f\n", "from the boot image", i * 1000, ic * 1000
  printf "  %-30s %9.2f %9.2f\n", "from the sources as text", t * 1000, tc * 1000
  printf "  %-30s %9.2f %9.2f\n", "ratio text / image", ratio(t, i), ratio(tc, ic)
  printf "  %-30s %9.2f %9.2f\n", "ratio beyond a bare process", ratio(t - b, i - b), ratio(tc - bc, ic - bc)
}'

# Instructions are steadier than times; perf counts them where the machine lets it.
count_instructions() {
  perf stat -x, -e instructions:u -o "$work/perf" "$@" >/dev/null 2>&1 || return 1
  awk -F, '/instructions/ { if ($1 ~ /^[0-9]+$/) print $1; else exit 1 }' "$work/perf"
}
if command -v perf >/dev/null && count_instructions "${image_cmd[@]}" >/dev/null; then
  for ((i = 0; i < 5; i++)); do
    count_instructions "${image_cmd[@]}" >>"$work/image.ins"
    count_instructions "${text_cmd[@]}" >>"$work/text.ins"
  done
  awk -v i="$(median <"$work/image.ins")" -v t="$(median <"$work/text.ins")" 'BEGIN {
    printf "  instructions (user): image %d, text %d, ratio %.2f\n", i, t, t / i
  }'
else
  echo "  (perf cannot count instructions here; times only)"
fi

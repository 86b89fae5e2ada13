#!/usr/bin/env bash
# compress and decompress on a 50 MiB text, against the gzip and zstd command-line tools
# and Python's zlib module: each reads the file, (de)compresses it whole and writes the
# result. Prints the median CPU time (user + system) of each, the throughput over the input
# (compress) or the output (decompress), the ratio input / compressed, and Tav's time over
# the peer's (below 1.0: Tav is faster). Every output is checked: a compressed file must
# decompress to the input with the peer's tool, a decompressed one must equal the input.
#
# usage: bash bench/compress.sh [BIN-DIR]
# environment: BENCH_RUNS (default 3), BENCH_SIZE (bytes, default 50 MiB)
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bin=${1:-build/bin}
runs=${BENCH_RUNS:-3}
size=${BENCH_SIZE:-$((50 * 1024 * 1024))}

die() { echo "compress bench: $*" >&2; exit 2; }
tav=$(cd "$bin" 2>/dev/null && pwd)/tav-eval
[ -x "$tav" ] || die "no tav-eval in $bin (build first: make build)"
python=/usr/bin/python3
[ -x "$python" ] || python=$(command -v python3) || die "python3 not found"
for tool in gzip zstd cmp; do
  command -v $tool >/dev/null || die "$tool not found (run tools/install-deps.sh)"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tav-compress.XXXXXX")
trap 'rm -rf "$work"' EXIT
in=$work/input.txt
"$python" "$here/make-text.py" "$in" "$size" || die "could not write the input"
gzip -6 -c "$in" >"$work/input.gz"
zstd -q -3 -c "$in" >"$work/input.zst"

# The command of one case, by name: peer-action-method.
run_case() {  # name out
  local out=$2
  case $1 in
    tav-compress-gzip | tav-compress-zstd | tav-decompress-gzip | tav-decompress-zstd)
      local action=${1#tav-} method=${1##*-} src=$in
      action=${action%-*}
      if [ "$action" = decompress ]; then
        if [ "$method" = gzip ]; then src=$work/input.gz; else src=$work/input.zst; fi
      fi
      BENCH_ACTION=$action BENCH_METHOD=$method BENCH_IN=$src BENCH_OUT=$out \
        "$tav" "$here/compress.tav" ;;
    gzip-compress-gzip) gzip -6 -c "$in" >"$out" ;;
    gzip-decompress-gzip) gzip -d -c "$work/input.gz" >"$out" ;;
    zstd-compress-zstd) zstd -q -3 -c "$in" >"$out" ;;
    zstd-decompress-zstd) zstd -q -d -c "$work/input.zst" >"$out" ;;
    python-compress-gzip) "$python" "$here/compress.py" compress "$in" "$out" ;;
    python-decompress-gzip) "$python" "$here/compress.py" decompress "$work/input.gz" "$out" ;;
  esac
}

check() {  # name out -> non-zero when the output is wrong
  local name=$1 out=$2
  case $name in
    *-decompress-*) cmp -s "$out" "$in" ;;
    *-compress-gzip) gzip -d -c "$out" | cmp -s - "$in" ;;
    *-compress-zstd) zstd -q -d -c "$out" | cmp -s - "$in" ;;
  esac
}

cases=(tav-compress-gzip gzip-compress-gzip python-compress-gzip
  tav-decompress-gzip gzip-decompress-gzip python-decompress-gzip
  tav-compress-zstd zstd-compress-zstd tav-decompress-zstd zstd-decompress-zstd)
declare -A failed=()
status=0
for ((r = 1; r <= runs; r++)); do
  echo "compress bench: run $r/$runs" >&2
  for name in "${cases[@]}"; do
    [ -n "${failed[$name]+x}" ] && continue
    out=$work/out.$name
    # CPU time of the case's whole command line, children included.
    secs=$( { TIMEFORMAT='%U %S'; time run_case "$name" "$out" 2>"$work/err"; } 2>&1 | awk '{ print $1 + $2 }')
    if ! check "$name" "$out"; then
      failed[$name]="wrong output: $(head -c 200 "$work/err")"
      status=1
    else
      echo "$secs" >>"$work/$name.times"
      stat -c %s "$out" >"$work/$name.size"
    fi
    rm -f "$out"
  done
done

median() {
  [ -s "$1" ] || return 0
  sort -g "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

mib=$(awk -v s="$size" 'BEGIN { printf "%.0f", s / 1048576 }')
echo
echo "compress and decompress, $mib MiB of text: median CPU time of $runs runs, $(nproc) cores"
printf '%-22s %9s %9s %8s %12s\n' case "ms" "MiB/s" ratio "Tav/this"
for name in "${cases[@]}"; do
  t=$(median "$work/$name.times")
  if [ -z "$t" ]; then
    printf '%-22s %9s\n' "$name" "-"
    continue
  fi
  tav_case=tav-${name#*-}
  tt=$(median "$work/$tav_case.times")
  ratio=-
  case $name in *-compress-*) ratio=$(awk -v a="$size" -v b="$(cat "$work/$name.size")" 'BEGIN { printf "%.2f", a / b }') ;; esac
  rel=-
  [ "$name" != "$tav_case" ] && [ -n "$tt" ] && rel=$(awk -v a="$tt" -v b="$t" 'BEGIN { printf "%.2f", a / b }')
  printf '%-22s %9.0f %9.1f %8s %12s\n' "$name" "$(awk -v s="$t" 'BEGIN { print s * 1000 }')" \
    "$(awk -v s="$size" -v t="$t" 'BEGIN { print s / 1048576 / t }')" "$ratio" "$rel"
done
if [ ${#failed[@]} -gt 0 ]; then
  echo
  echo "no figure for:"
  for k in "${!failed[@]}"; do echo "  $k: ${failed[$k]}"; done
fi
exit $status

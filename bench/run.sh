#!/usr/bin/env bash
# Runs each benchmark as the same program in Tav, Python 3 and Lua 5.4, several times and
# interleaved, then prints per benchmark the median times, the ratios Tav/Python and
# Tav/Lua, and Tav's peak resident memory.
#
# usage: bash bench/run.sh [BIN-DIR] [BENCHMARK...]
#   BIN-DIR        the directory holding tav-eval (default build/bin)
#   BENCHMARK      names of scripts under bench/tav (default: all, in the table's order)
# environment:
#   BENCH_RUNS     timed runs per benchmark and language (default 5)
#   BENCH_TIMEOUT  seconds before a run is stopped (default 300)
#   BENCH_CLOCK    wall (default) or cpu: user + system time, steadier on a busy machine
#   BENCH_PYTHON, BENCH_LUA  the peer interpreters (default /usr/bin/python3, lua5.4)
#
# Every run's output is checked against Python's: a language whose output differs, that
# exits non-zero or runs out of time gets no figure, and the script exits 1 after the table.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bin=${1:-build/bin}
[ $# -gt 0 ] && shift
runs=${BENCH_RUNS:-5}
limit=${BENCH_TIMEOUT:-300}
clock=${BENCH_CLOCK:-wall}
text_size=$((4 * 1024 * 1024))

die() { echo "bench: $*" >&2; exit 2; }

[[ $runs =~ ^[1-9][0-9]*$ ]] || die "BENCH_RUNS must be a positive whole number"
[[ $clock == wall || $clock == cpu ]] || die "BENCH_CLOCK must be wall or cpu"
tav=$(cd "$bin" 2>/dev/null && pwd)/tav-eval
[ -x "$tav" ] || die "no tav-eval in $bin (build first: make build)"

# The Debian interpreter, not a version-manager shim: a shim's own start-up would be timed.
python=${BENCH_PYTHON:-}
if [ -z "$python" ]; then
  if [ -x /usr/bin/python3 ]; then python=/usr/bin/python3; else python=$(command -v python3 || true); fi
fi
[ -n "$python" ] && [ -x "$(command -v "$python")" ] || die "python3 not found (run tools/install-deps.sh)"
python=$(command -v "$python")
lua=${BENCH_LUA:-$(command -v lua5.4 || true)}
[ -n "$lua" ] && lua=$(command -v "$lua" || true)
[ -n "$lua" ] || echo "bench: lua5.4 not found (run tools/install-deps.sh); Lua is left out" >&2
gnu_time=/usr/bin/time
[ -x "$gnu_time" ] || echo "bench: $gnu_time not found (package time); no peak memory" >&2

all_benches=(startup fib while-loop string-append block-sort parse-text parse-thru parse-to find
  replace-all split rejoin collect live-data json-codec json-decode json-encode csv-codec map-keys
  hash-keys)
if [ $# -gt 0 ]; then benches=("$@"); else benches=("${all_benches[@]}"); fi
# A benchmark may have no Lua version (Lua has no library for the work): its Lua column is
# left empty.
for b in "${benches[@]}"; do
  for f in "tav/$b.tav" "python/$b.py"; do
    [ -f "$here/$f" ] || die "no bench/$f"
  done
done

langs=(python tav)
[ -n "$lua" ] && langs+=(lua)

work=$(mktemp -d "${TMPDIR:-/tmp}/tav-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$python" "$here/make-text.py" "$work/parse-input.txt" "$text_size" || die "could not write the parse input"
"$python" "$here/make-json.py" "$work/json-input.json" 100000 || die "could not write the JSON input"
# Scripts read their input by a relative name.
cd "$work" || exit 2

command_for() {  # lang bench -> the command line, one word per line
  case $1 in
    tav) printf '%s\n' "$tav" "$here/tav/$2.tav" ;;
    python) printf '%s\n' "$python" "$here/python/$2.py" ;;
    lua) printf '%s\n' "$lua" "$here/lua/$2.lua" ;;
  esac
}

oneline() { head -c "$1" | tr '\n' ' ' | sed 's/ *$//'; }  # limit -> stdin on one line

declare -A failed   # "bench lang" -> reason, once a run went wrong
declare -A reference

# One timed run; records the time or the reason for failing.
run_once() {
  local b=$1 lang=$2 r=$3
  local key="$b $lang" out="$work/$b.$lang.out" err="$work/$b.$lang.err"
  local -a cmd
  mapfile -t cmd < <(command_for "$lang" "$b")
  local wall cpu status secs
  read -r wall cpu status < <("$python" "$here/measure.py" "$limit" "$out" "$err" "${cmd[@]}")
  if [ "$clock" = cpu ]; then secs=$cpu; else secs=$wall; fi
  if [ "$status" = timeout ]; then
    failed[$key]="stopped after ${limit} s"
  elif [ "$status" != 0 ]; then
    failed[$key]="exit status $status: $(cat "$err" "$out" | oneline 300)"
  elif [ "$lang" = python ] && [ "$r" = 1 ]; then
    reference[$b]=$(cat "$out")
    echo "$secs" >>"$work/$b.$lang.times"
  elif [ "$(cat "$out")" != "${reference[$b]-}" ]; then
    failed[$key]="printed \"$(oneline 200 <"$out")\", Python printed \"$(printf %s "${reference[$b]-}" | oneline 200)\""
  else
    echo "$secs" >>"$work/$b.$lang.times"
  fi
}

echo "bench: $runs runs of ${benches[*]} in ${langs[*]}" >&2
for ((r = 1; r <= runs; r++)); do
  echo "bench: run $r/$runs" >&2
  # What starting any process costs on this machine, for reading the start-up figures.
  read -r wall cpu _ < <("$python" "$here/measure.py" "$limit" /dev/null /dev/null /bin/true)
  if [ "$clock" = cpu ]; then echo "$cpu"; else echo "$wall"; fi >>"$work/floor.times"
  for b in "${benches[@]}"; do
    # The order rotates from run to run, so that no language always follows another; the
    # first run starts with Python, whose output is the reference.
    rot=$(((r - 1) % ${#langs[@]}))
    order=("${langs[@]:rot}" "${langs[@]:0:rot}")
    for lang in "${order[@]}"; do
      if [ "$lang" != python ] && [ -n "${failed["$b python"]+x}" ]; then
        failed["$b $lang"]=${failed["$b $lang"]:-"no reference output (Python failed)"}
      fi
      [ -n "${failed["$b $lang"]+x}" ] && continue
      [ "$lang" = lua ] && [ ! -f "$here/lua/$b.lua" ] && continue
      run_once "$b" "$lang" "$r"
    done
  done
done

median() {  # file of numbers -> median, or nothing for an empty file
  [ -s "$1" ] || return 0
  sort -g "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Peak resident memory of Tav, from one more run of each benchmark that went well.
peak_mib() {
  local b=$1
  [ -x "$gnu_time" ] || return 0
  "$gnu_time" -f %M -o "$work/$b.rss" "$tav" "$here/tav/$b.tav" >/dev/null 2>&1 || return 0
  awk '{ printf "%.1f", $1 / 1024 }' "$work/$b.rss"
}

ms() { [ -n "$1" ] && awk -v s="$1" 'BEGIN { printf "%.1f", s * 1000 }' || printf -- -; }
ratio() { [ -n "$1" ] && [ -n "$2" ] && awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }' || printf -- -; }

py_version=$("$python" -c 'import platform; print(platform.python_version())')
lua_version=$([ -n "$lua" ] && "$lua" -v 2>&1 | awk '{ print $2 }')
commit=$(git -C "$here" rev-parse --short HEAD 2>/dev/null || echo unknown)
echo
echo "Tav $commit ($tav) against Python $py_version and Lua ${lua_version:-(absent)}:" \
     "median $clock time of $runs runs, $(nproc) cores"
echo "(a process that does nothing, /bin/true, takes $(ms "$(median "$work/floor.times")") ms here)"
printf '%-14s %9s %10s %9s %11s %8s %13s\n' benchmark "Tav ms" "Python ms" "Lua ms" Tav/Python Tav/Lua "Tav peak MiB"
status=0
notes=()
for b in "${benches[@]}"; do
  t=$(median "$work/$b.tav.times")
  p=$(median "$work/$b.python.times")
  l=$(median "$work/$b.lua.times")
  mem=-
  [ -n "$t" ] && mem=$(peak_mib "$b")
  printf '%-14s %9s %10s %9s %11s %8s %13s\n' "$b" "$(ms "$t")" "$(ms "$p")" "$(ms "$l")" \
    "$(ratio "$t" "$p")" "$(ratio "$t" "$l")" "${mem:--}"
  for lang in "${langs[@]}"; do
    if [ -n "${failed["$b $lang"]+x}" ]; then
      notes+=("$b, $lang: ${failed["$b $lang"]}")
      status=1
    fi
  done
done
if [ ${#notes[@]} -gt 0 ]; then
  echo
  echo "no figure for:"
  printf '  %s\n' "${notes[@]}"
fi
exit $status

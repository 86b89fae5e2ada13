#!/bin/bash
# The HTTP client and the download cache against a local server that this script starts
# (tests/fixtures/http_server.py on 127.0.0.1, a free port), and a large body read with
# bounded memory.
# Usage: http.sh path/to/tav-eval
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'exec {srv_in}>&-; wait; rm -rf "$work"' EXIT

# The server prints its port once it accepts connections and ends when its input closes.
coproc SERVER { exec python3 "$here/../fixtures/http_server.py"; }
srv_in=${SERVER[1]}
read -r port <&"${SERVER[0]}" || { echo "FAIL the server did not start"; exit 1; }
base="http://127.0.0.1:$port"
failed=0

mkdir "$work/cache"
TAV_HTTP_BASE=$base TAV_CACHE_DIR=$work/cache "$tav" --table "$here/../http/http.tav" || failed=1

# The cache root by default: Tav/ under XDG_CACHE_HOME, made on first use.
got=$(XDG_CACHE_HOME=$work/xdg "$tav" -e "print path-thru $base/x print exists? %$work/xdg/Tav/" 2>&1)
want_dir="$work/xdg/Tav/"
if [[ "$got" != "$want_dir"??/????????????????????????????????$'\n'"true" ]]; then
  printf 'FAIL default cache root\n--- got\n%s\n' "$got"
  failed=1
fi

# 100 MB in one read: the body is held once, so the peak memory stays near its size.
size=$((100 * 1024 * 1024))
got=$("$tav" -e "
  n: length? read/binary $base/large/$size
  status: read %/proc/self/status
  parse status [thru {VmHWM:} any [#\" \" | tab] copy kb to #\" \" to end]
  print [n to integer! kb]" 2>&1)
read -r n kb <<<"$got"
if [[ "$n" != "$size" || -z "$kb" || "$kb" -gt $((160 * 1024)) ]]; then
  printf 'FAIL large body: want %s bytes within 160 MB, got %s\n' "$size" "$got"
  failed=1
fi
exit $failed

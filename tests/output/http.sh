#!/bin/bash
# The HTTP client and the download cache against a local server that this script starts
# (tests/fixtures/http_server.py on 127.0.0.1, a free port), and a large body read with
# bounded memory.
# Usage: http.sh path/to/tav-eval
tav=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
srv_in=
trap '[[ -n $srv_in ]] && exec {srv_in}>&-; wait; rm -rf "$work"' EXIT

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

# The plain server ends (one server runs at a time).
exec {srv_in}>&-
srv_in=
wait

# https checks the server's certificate: one signed by nobody the system trusts is refused.
if openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -days 1 \
     -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1; then
  coproc TLS { exec python3 "$here/../fixtures/http_server.py" "$work/cert.pem" "$work/key.pem"; }
  srv_in=${TLS[1]}
  read -r tls_port <&"${TLS[0]}"
  got=$("$tav" -e "e: try [read https://127.0.0.1:$tls_port/text] print [e/id e/arg1]" 2>&1)
  if [[ "$got" != "no-connect https://127.0.0.1:$tls_port/text" ]]; then
    printf 'FAIL untrusted certificate accepted: %s\n' "$got"
    failed=1
  fi
fi
exit $failed

#!/bin/bash
# Where the settings live (system/options/cache), by XDG_CONFIG_HOME: an absolute folder is
# taken; an unset, empty or relative one gives way to ~/.config.
# Usage: settings-folder.sh path/to/tav-eval
tav=$1
failed=0

# check NAME EXPECTED [VAR=VALUE]: system/options/cache under that environment.
check() {
  local name=$1 want=$2 got
  shift 2
  got=$(env -u XDG_CONFIG_HOME HOME=/home/someone "$@" "$tav" -e 'print mold system/options/cache' 2>&1)
  if [[ "$got" != "$want" ]]; then
    printf 'FAIL %s\n--- expected\n%s\n--- got\n%s\n' "$name" "$want" "$got"
    failed=1
  fi
}

check "unset" "%/home/someone/.config/Tav/"
check "absolute" "%/srv/conf/Tav/" XDG_CONFIG_HOME=/srv/conf
check "absolute with a slash" "%/srv/conf/Tav/" XDG_CONFIG_HOME=/srv/conf/
check "empty" "%/home/someone/.config/Tav/" XDG_CONFIG_HOME=
check "relative" "%/home/someone/.config/Tav/" XDG_CONFIG_HOME=conf
check "relative with a dot" "%/home/someone/.config/Tav/" XDG_CONFIG_HOME=./conf
exit $failed

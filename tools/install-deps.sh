#!/usr/bin/env bash
# Installs the system packages the build and the tests need. Idempotent.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config make
  libgtest-dev libgmock-dev
  libssl-dev zlib1g-dev libzstd-dev libcurl4-openssl-dev
  locales
  libpng-dev libjpeg62-turbo-dev libgif-dev libtiff-dev  # the image codecs
  python3 lua5.4 time  # bench/: the peer interpreters and the peak-memory probe
  zstd  # bench/compress.sh: the zstd command-line peer (gzip is always there)
  python3-tk  # bench/gui-*: the GUI peer
  idle  # bench/terminal-print: IDLE's shell window
  # The GUI: Qt 6 Widgets and Multimedia; the keyboard map for the key translator.
  qt6-base-dev qt6-multimedia-dev libxkbcommon-x11-dev
  # GUI tests: a private X server, input and clipboard drivers, and the one pinned font.
  xvfb xdotool xclip fonts-dejavu-core
  # Screenshots of the end-to-end tests: xwd takes them, ImageMagick reads their pixels.
  x11-apps imagemagick
)

# Number text must not depend on the locale: one test runs under a comma-decimal locale.
ensure_test_locale() {
  locale -a 2>/dev/null | grep -qi '^de_DE.utf-\?8$' && return 0
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 >/dev/null 2>&1 || true
}

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  ensure_test_locale
  exit 0
fi

echo "installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
ensure_test_locale

#!/usr/bin/env bash
# Installs every Debian package the builds and tests need. Idempotent and
# non-interactive: packages already present are not fetched again.
set -euo pipefail

packages=(
  cmake g++ clang libclang-rt-14-dev make
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  g++-mingw-w64-x86-64-posix
  wine wine64 xvfb xauth socat fonts-noto-cjk imagemagick x11-utils
  wixl msitools locales python3 python3-olefile python3-matplotlib
  libcli11-dev nlohmann-json3-dev
  tshark
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  # tshark asks whether users outside root may capture; the tests only read files.
  echo "wireshark-common wireshark-common/install-setuid boolean false" | $SUDO debconf-set-selections
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

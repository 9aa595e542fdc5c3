#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing.
#   scripts/deps.sh [PACKAGE ...]   the given packages instead of the build's own list
set -euo pipefail

PACKAGES=(
  cmake make
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64 mingw-w64-tools
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  wine64 libwine-dev
  xvfb xauth x11-apps
  googletest
  wixl msitools g++
  osslsigncode openssl
  fonts-wine fonts-wqy-microhei
)

if [ $# -gt 0 ]; then
  PACKAGES=("$@")
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

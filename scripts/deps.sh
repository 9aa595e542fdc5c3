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
  fonts-wine fonts-wqy-microhei fonts-noto-cjk
  locales
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

# The installer test that shows the package's messages in German and Japanese runs msiexec with
# LANG=de_DE.UTF-8 and ja_JP.UTF-8; Wine takes the user's language from LANG only when the C
# library has that locale.
if [ $# -eq 0 ] && [ -f /etc/locale.gen ]; then
  wanted=(de_DE.UTF-8 ja_JP.UTF-8)
  generate=0
  for l in "${wanted[@]}"; do
    if ! locale -a 2>/dev/null | grep -qix "${l/UTF-8/utf8}"; then
      sed -i "s/^# *\($l UTF-8\)/\1/" /etc/locale.gen
      grep -q "^$l UTF-8" /etc/locale.gen || echo "$l UTF-8" >> /etc/locale.gen
      generate=1
    fi
  done
  if [ $generate -eq 1 ]; then
    locale-gen
  fi
fi

#!/usr/bin/env bash
# Installs, from Debian's packages, what the build and the tests need and
# this machine lacks. Safe to run again: it installs nothing that is there.
set -euo pipefail

want=(cmake ninja-build g++ lld libgtest-dev libgmock-dev nlohmann-json3-dev
      g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 file)
if [ "${ZMP_WITH_WINE:-0}" = 1 ]; then
  # wine32:i386 too, which tools/wine/harness.py adds once it knows that
  # this machine runs i386 code; chromium shows the results page.
  want+=(wine wine64 xvfb xdotool imagemagick fonts-dejavu-core python3 chromium)
fi
if [ "${ZMP_WITH_CLANG:-0}" = 1 ]; then
  want+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

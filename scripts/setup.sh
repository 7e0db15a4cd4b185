#!/bin/sh
# Installs what the build and the tests need, with apt-get, only when missing.
set -eu
PACKAGES="cmake ninja-build googletest clang
g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
wine wine64 xvfb xauth
libstb-dev libcli11-dev nlohmann-json3-dev
libgl1 libglx-mesa0 libgl1-mesa-dri"
missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
if [ -n "$missing" ]; then
  echo "setup: installing$missing"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q >/dev/null
  $SUDO apt-get install -y -q $missing >/dev/null
fi

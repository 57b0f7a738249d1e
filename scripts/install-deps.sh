#!/bin/sh
# Installs (as root) or names (otherwise) the Debian packages the build and the tests need.
set -e
# "play" needs only the compiler and CMake; "test" (the default) everything.
need="cmake make g++"
if [ "${1:-test}" != play ]; then
  need="$need pkg-config libvterm-dev libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-dev g++-mingw-w64-x86-64"
fi
missing=""
for p in $need; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" = 0 ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq $missing >/dev/null
else
  echo "kotodama needs these Debian packages. Install them with:" >&2
  echo "  sudo apt-get install -y$missing" >&2
  exit 1
fi

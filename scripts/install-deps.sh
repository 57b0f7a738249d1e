#!/bin/sh
# Installs (as root) or names (otherwise) the Debian packages the build and the tests need.
set -e
# "play" needs only the compiler and CMake; "package" also what CPack's
# Debian packages are made with (dpkg-shlibdeps, file); "main" what the plain
# test suite needs; "test" (the default) everything: benchmarks, fuzzing, the
# Windows cross build and Wine, the manual page's and the package's checkers
# (man-db, lintian), libc++ for the clang build; "web" the
# WebAssembly build and its browser test (Emscripten, Node.js's npm, chromium);
# "kitty" what scripts/kitty-check.sh runs the game in (kitty under Xvfb,
# xdotool for real key presses and releases, strace to see what arrives),
# and GNU screen to try the game in by hand.
mode=${1:-test}
need="cmake make g++"
lean=""
if [ "$mode" = kitty ]; then
  need="xvfb xdotool strace screen"
  lean="kitty"
elif [ "$mode" = web ]; then
  need="emscripten"
  # Some Node.js builds carry npm themselves (and conflict with Debian's).
  command -v npm >/dev/null || need="$need npm"
  lean="chromium"
elif [ "$mode" != play ]; then
  need="$need dpkg-dev file"
fi
if [ "$mode" = main ] || [ "$mode" = test ]; then
  need="$need pkg-config libvterm-dev libgtest-dev libgmock-dev"
fi
if [ "$mode" = test ]; then
  need="$need libbenchmark-dev clang libclang-rt-dev libc++-dev libc++abi-dev g++-mingw-w64-x86-64 man-db groff-base lintian"
  # Wine (64-bit only) runs the Windows build of the tests; without what it
  # recommends, which is a whole desktop.
  lean="wine64"
fi
missing=""
for p in $need; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
missingLean=""
for p in $lean; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missingLean="$missingLean $p"
done
[ -z "$missing$missingLean" ] && exit 0
if [ "$(id -u)" = 0 ]; then
  echo "Installing:$missing$missingLean"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  [ -z "$missing" ] || apt-get install -y -qq $missing >/dev/null
  [ -z "$missingLean" ] || apt-get install -y -qq --no-install-recommends $missingLean >/dev/null
else
  echo "kotodama needs these Debian packages. Install them with:" >&2
  [ -z "$missing" ] || echo "  sudo apt-get install -y$missing" >&2
  [ -z "$missingLean" ] || echo "  sudo apt-get install -y --no-install-recommends$missingLean" >&2
  exit 1
fi

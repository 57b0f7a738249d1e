#!/bin/sh
# Installs the game into a scratch folder, checks where the binary and the
# manual page land and that the page has no warnings, then builds the Debian
# package and checks what it holds. Nothing is installed on the system.
set -e
cd "$(dirname "$0")/.."
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
make -s install DESTDIR="$stage" PREFIX=/usr/local >/dev/null
for f in usr/local/bin/kotodama usr/local/share/man/man6/kotodama.6; do
  [ -f "$stage/$f" ] || { echo "test-install: $f was not installed"; exit 1; }
done
[ -x "$stage/usr/local/bin/kotodama" ] || { echo "test-install: the game is not executable"; exit 1; }
warnings=$(MANWIDTH=80 man --warnings -l man/kotodama.6 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "test-install: the manual page has warnings:"; echo "$warnings"; exit 1; }
make -s package >/dev/null
deb=$(ls build-release/kotodama_*.deb)
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/kotodama ./usr/share/man/man6/kotodama.6; do
  echo "$contents" | grep -q " $f" || { echo "test-install: $deb does not hold $f"; exit 1; }
done
echo "test-install: installed and packaged ($deb)"

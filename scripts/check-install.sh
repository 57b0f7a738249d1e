#!/bin/sh
# make install and make package, checked without installing anything on this
# system: the files land under a scratch DESTDIR where they belong, the
# installed game runs, its manual page formats without a warning, and the
# Debian package holds the game and the page and depends on the C++ runtime.
set -eu
cd "$(dirname "$0")/.."
stage=$(mktemp -d /tmp/kotodama-install-XXXXXX)
trap 'rm -rf "$stage"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }
quietly() { "$@" >"$stage/log" 2>&1 || { cat "$stage/log" >&2; fail "$* failed"; }; }

for prefix in /usr/local /opt/kotodama; do
  dest="$stage/${prefix##*/}"
  quietly make --no-print-directory install DESTDIR="$dest" PREFIX="$prefix"
  files=$(cd "$dest" && find . -type f | sort | tr '\n' ' ')
  [ "$files" = ".$prefix/bin/kotodama .$prefix/share/man/man6/kotodama.6.gz " ] ||
    fail "make install PREFIX=$prefix installed: $files"
done
bin="$stage/local/usr/local/bin/kotodama"
page="$stage/local/usr/local/share/man/man6/kotodama.6.gz"

# With no terminal and its input at an end, the game draws the title and
# leaves as END does.
status=0
(cd "$stage" && timeout 30 "$bin" </dev/null >"$stage/title.out") || status=$?
[ "$status" = 0 ] || fail "the installed game ended with status $status"
grep -q CREATE "$stage/title.out" || fail "the installed game did not draw the title menu"

warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man --warnings on kotodama.6: $warnings"

rm -f build-release/*.deb
quietly make --no-print-directory package
deb=$(ls build-release/*.deb)
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/kotodama ./usr/share/man/man6/kotodama.6.gz; do
  echo "$contents" | grep -q " $path\$" || fail "$deb lacks $path"
done
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in *libc6*libstdc++6* | *libstdc++6*libc6*) ;; *) fail "$deb depends on: $depends" ;; esac
echo "check-install: make install (PREFIX and DESTDIR), the manual page and $deb are as they should be"

#!/bin/sh
# make install, make uninstall and make package, checked without installing
# anything on this system: the files land under a scratch DESTDIR where they
# belong and make uninstall takes every one of them away again, the installed
# game runs and answers its command line, its manual page formats without a
# warning, and the Debian package holds the game, the page, the copyright file
# and the changelog, depends on the C++ runtime and passes lintian.
set -eu
cd "$(dirname "$0")/.."
stage=$(mktemp -d /tmp/kotodama-install-XXXXXX)
trap 'rm -rf "$stage"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }
quietly() { "$@" >"$stage/log" 2>&1 || { cat "$stage/log" >&2; fail "$* failed"; }; }

for prefix in /opt/kotodama /usr/local; do
  dest="$stage/${prefix##*/}"
  quietly make --no-print-directory install DESTDIR="$dest" PREFIX="$prefix"
  files=$(cd "$dest" && find . ! -type d | sort | tr '\n' ' ')
  [ "$files" = ".$prefix/bin/kotodama .$prefix/share/man/man6/kotodama.6.gz " ] ||
    fail "make install PREFIX=$prefix installed: $files"
  if [ "$prefix" = /opt/kotodama ]; then
    quietly make --no-print-directory uninstall DESTDIR="$dest" PREFIX="$prefix"
    left=$(cd "$dest" && find . ! -type d)
    [ -z "$left" ] || fail "make uninstall PREFIX=$prefix left: $left"
  fi
done
bin="$stage/local/usr/local/bin/kotodama"
page="$stage/local/usr/local/share/man/man6/kotodama.6.gz"

# With no terminal and its input at an end, the game draws the title and
# leaves as END does.
status=0
(cd "$stage" && timeout 30 "$bin" </dev/null >"$stage/title.out") || status=$?
[ "$status" = 0 ] || fail "the installed game ended with status $status"
grep -q CREATE "$stage/title.out" || fail "the installed game did not draw the title menu"

# The command line: answers with plain text (no escape code) and a status,
# never the game, whether or not a terminal is there.
cli() { # expected status, expected start of standard output, of standard error, arguments
  want=$1 out=$2 err=$3; shift 3
  status=0
  timeout 10 "$bin" "$@" </dev/null >"$stage/out" 2>"$stage/err" || status=$?
  [ "$status" = "$want" ] || fail "kotodama $* ended with status $status, not $want"
  [ "$(head -c ${#out} "$stage/out")" = "$out" ] || fail "kotodama $* printed: $(head -c 200 "$stage/out")"
  [ "$(head -c ${#err} "$stage/err")" = "$err" ] || fail "kotodama $* printed on stderr: $(head -c 200 "$stage/err")"
  ! grep -q "$(printf '\033')" "$stage/out" "$stage/err" || fail "kotodama $* printed escape codes"
}
version=$(sed -n 's/^project(kotodama VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
cli 0 "Usage: kotodama" "" --help
cli 0 "kotodama $version" "" --version
[ "$(cat "$stage/out")" = "kotodama $version" ] || fail "kotodama --version printed: $(cat "$stage/out")"
cli 2 "" "kotodama: unknown argument: --nonsense" --nonsense
cli 2 "" "kotodama: unknown argument: extra" --help extra
grep -q "man 6 kotodama" "$stage/err" || fail "the usage does not name the manual page"

warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man --warnings on kotodama.6: $warnings"

rm -f build-release/*.deb
quietly make --no-print-directory package
deb=$(ls build-release/*.deb)
contents=$(dpkg-deb -c "$deb")
for path in ./usr/games/kotodama ./usr/share/man/man6/kotodama.6.gz ./usr/share/doc/kotodama/copyright \
  ./usr/share/doc/kotodama/changelog.Debian.gz; do
  echo "$contents" | grep -q " $path\$" || fail "$deb lacks $path"
done
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in *libc6*libstdc++6* | *libstdc++6*libc6*) ;; *) fail "$deb depends on: $depends" ;; esac
quietly lintian --pedantic --fail-on error,warning "$deb"
echo "check-install: make install and uninstall (PREFIX and DESTDIR), the command line, the manual page and $deb (lintian --pedantic: no error, no warning) are as they should be"

#!/bin/sh
# The operating system is reached only through the platform files: only they
# (and the tests, benchmarks and build tools) include the system's headers,
# and none of them includes a header of the layers above it (the console and
# its backends). Cheap enough to run before every test run.
cd "$(dirname "$0")/.." || exit 1
platform='^(console/platform_[a-z0-9_]+\.(cpp|h)|slots/slot_storage_[a-z0-9]+\.cpp)$'
status=0

outside=$(git grep --untracked -l -E '#include <(termios|unistd|windows|emscripten|iconv|langinfo|poll|fcntl|signal)\.h>' -- \
  ':!tests/' ':!bench/' ':!cmake/' | grep -v -E "$platform")
if [ -n "$outside" ]; then
  echo "check-seams: system headers included outside the platform files:"
  echo "$outside" | sed 's/^/  /'
  status=1
fi

# Headers a platform file may not reach, directly or through another header.
above='console/(console|console_backend|terminal_screen|terminal_keyboard|line_editor|screen_shadow|event_queue|input_decoder|draw)\.h'
cxx=${CXX:-c++}
for file in $(git ls-files --cached --others --exclude-standard console slots | grep -E "$platform" | grep '\.cpp$'); do
  # -MG: the other systems' headers (windows.h, emscripten.h) need not exist here.
  deps=$("$cxx" -std=c++20 -I. -MM -MG "$file" 2>&1) || { echo "check-seams: $cxx -MM $file failed:"; echo "$deps"; status=1; continue; }
  reached=$(echo "$deps" | tr ' \\' '\n\n' | grep -E "^$above$")
  if [ -n "$reached" ]; then
    echo "check-seams: $file reaches up to $(echo $reached)"
    status=1
  fi
done
[ $status -eq 0 ] && echo "check-seams: system headers only in the platform files, and no platform file includes the layers above it"
exit $status

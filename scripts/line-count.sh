#!/bin/sh
# Counts C++ lines that are neither blank nor comment-only: game code
# (every folder but tests/ and bench/) against tests/, and their ratio.
cd "$(dirname "$0")/.."
count() {
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 cat |
    awk '
      { line = $0 }
      incomment { if (sub(/.*\*\//, "", line)) incomment = 0; else next }
      { sub(/^[ \t]+/, "", line) }
      line == "" || line ~ /^\/\// { next }
      { gsub(/\/\*.*\*\//, "", line) }
      index(line, "/*") && (!index(line, "//") || index(line, "/*") < index(line, "//")) {
        sub(/\/\*.*/, "", line); incomment = 1
      }
      { sub(/[ \t]+$/, "", line) }
      line == "" { next }
      { n++ }
      END { print n + 0 }'
}
game=$(count console game characters slots battle cmake)
tests=$(count tests)
echo "game code: $game lines; tests: $tests lines; tests : game = $(awk -v t="$tests" -v g="$game" 'BEGIN { printf "%.1f%%", 100 * t / g }')"

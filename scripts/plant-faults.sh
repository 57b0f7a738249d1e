#!/usr/bin/env bash
# Plants realistic faults into a copy of the game, one at a time, and records
# which tests catch each one.
#
#   scripts/plant-faults.sh [-a] [-r REV] [-t TABLE] [-o OUT] [ID...]
#
#   -r REV    plant into the tree of a git revision (default: the working tree,
#             tracked and untracked files that git does not ignore)
#   -t TABLE  the faults (default scripts/faults.tsv): id, file, a perl
#             substitution applied once to the whole file, what the fault does
#   -o OUT    where the result table goes (default: standard output only)
#   -a        run the whole suite for every fault; by default the end-to-end
#             tests (names matching $E2E_PATTERN) run only for faults in
#             console/ or when no other test caught the fault
#   ID...     only these faults
#
# The copy lives outside the repository ($KOTODAMA_FAULTS_DIR, default
# /tmp/kotodama-faults-<checkout folder>) with one build folder that every fault rebuilds
# incrementally. A fault is caught when a test fails or when the build stops
# on a static_assert; a substitution that no longer matches is reported as
# NOT APPLIED, so the table can be brought up to date after a refactor.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
work=${KOTODAMA_FAULTS_DIR:-/tmp/kotodama-faults-$(basename "$repo")}
jobs=${JOBS:-2}
e2e=${E2E_PATTERN:-EndToEnd}
table=$repo/scripts/faults.tsv
rev=""
out=""
all=0
while getopts "ar:t:o:" option; do
  case $option in
    a) all=1 ;;
    r) rev=$OPTARG ;;
    t) table=$(realpath "$OPTARG") ;;
    o) out=$(realpath -m "$OPTARG") ;;
    *) sed -n '2,20p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
only=" $* "

src=$work/src
build=$work/build
logs=$work/logs
mkdir -p "$src" "$logs"

# The tree to plant into, copied file by file where it differs, so that the
# build folder only rebuilds what changed since the last run.
stage=$repo
if [ -n "$rev" ]; then
  stage=$work/stage
  rm -rf "$stage"
  mkdir -p "$stage"
  git -C "$repo" archive "$rev" | tar -x -C "$stage"
  (cd "$stage" && find . -type f | sed 's|^\./||' | sort) >"$work/files"
else
  git -C "$repo" ls-files -co --exclude-standard | sort >"$work/files"
fi
while IFS= read -r file; do
  [ -f "$stage/$file" ] || continue
  if ! cmp -s "$stage/$file" "$src/$file"; then
    mkdir -p "$(dirname "$src/$file")"
    cp "$stage/$file" "$src/$file"
  fi
done <"$work/files"
(cd "$src" && find . -type f | sed 's|^\./||' | sort) | comm -23 - "$work/files" | while IFS= read -r stale; do
  rm -f "$src/$stale"
done

cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOTODAMA_TESTS=ON \
  -DCMAKE_RULE_MESSAGES=OFF --log-level=WARNING >/dev/null

# Runs the tests matching (-R) or not matching (-E) a pattern; prints the
# failing ones, with how they failed when it was not an ordinary failure.
failing() {
  local log=$1 select=$2 pattern=$3
  ctest --test-dir "$build" -j"$jobs" "$select" "$pattern" >"$log" 2>&1 || true
  sed -n '/The following tests FAILED:/,$p' "$log" | sed -nE 's/^[[:space:]]*[0-9]+ - (.*) \((.*)\)$/\1 \2/p' |
    sed -E 's/ Failed$//; s/ ([A-Za-z]+)$/ (\1)/'
}

echo "building the untouched tree in $build"
if ! cmake --build "$build" -j"$jobs" >"$logs/baseline-build.log" 2>&1; then
  echo "the untouched tree does not build: see $logs/baseline-build.log" >&2
  exit 1
fi
base=$( { failing "$logs/baseline-fast.log" -E "$e2e"; failing "$logs/baseline-e2e.log" -R "$e2e"; } )
if [ -n "$base" ]; then
  echo "the untouched tree fails tests already:" >&2
  echo "$base" >&2
  exit 1
fi

results=$work/results.txt
{
  echo "Planted faults$([ -n "$rev" ] && echo " in $rev"), $(date -u +%Y-%m-%d)"
  printf '%-4s | %-100s | %s\n' id fault "caught by"
} >"$results"
cat "$results"

while IFS=$'\t' read -r id file subst description <&3; do
  [ -n "$id" ] || continue
  case $only in "  ") ;; *" $id "*) ;; *) continue ;; esac
  target=$src/$file
  verdict=""
  if [ ! -f "$target" ]; then
    verdict="NOT APPLIED (no $file)"
  else
    cp "$target" "$work/original"
    perl -0777 -i -pe "$subst" "$target"
    if cmp -s "$target" "$work/original"; then
      verdict="NOT APPLIED (the pattern does not match $file)"
    elif ! cmake --build "$build" -j"$jobs" >"$logs/$id-build.log" 2>&1; then
      if grep -q 'static assertion failed\|static_assert' "$logs/$id-build.log"; then
        verdict="build (static_assert)"
      else
        verdict="NOT CAUGHT: the build fails without a static_assert ($(grep -m1 'error' "$logs/$id-build.log" | cut -c1-80))"
      fi
    else
      caught=$(failing "$logs/$id-fast.log" -E "$e2e")
      if [ "$all" = 1 ] || [ -z "$caught" ] || [[ $file == console/* ]]; then
        caught=$(printf '%s\n%s' "$caught" "$(failing "$logs/$id-e2e.log" -R "$e2e")" | sed '/^$/d')
      fi
      verdict=$(echo "$caught" | paste -sd ',' | sed 's/,/, /g')
      [ -n "$verdict" ] || verdict="NOT CAUGHT"
    fi
    cp "$work/original" "$target"  # a fresh modification time: the next build recompiles it
  fi
  printf '%-4s | %-100s | %s\n' "$id" "$description" "$verdict" | tee -a "$results"
done 3< <(grep -v '^#' "$table")

# Leave the build matching the untouched tree.
cmake --build "$build" -j"$jobs" >"$logs/final-build.log" 2>&1 || true
if [ -n "$out" ]; then cp "$results" "$out"; fi

#!/bin/sh
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each one.
#   scripts/fuzz.sh runs N      each target for N inputs (what `make test` does)
#   scripts/fuzz.sh seconds N   each target for N seconds (what `make fuzz` does)
# Each target starts from its seed corpus in tests/fuzz/corpus/<name>/; new
# inputs go to build-fuzz/corpus/<name>/, findings to build-fuzz/findings/.
set -e
mode=${1:-runs}
amount=${2:-20000}
cd "$(dirname "$0")/.."
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOTODAMA_FUZZ=ON -DKOTODAMA_SANITIZE=ON \
  -DKOTODAMA_TESTS=OFF -DCMAKE_RULE_MESSAGES=OFF --log-level=WARNING >/dev/null
cmake --build build-fuzz -j"${JOBS:-2}" >/dev/null
mkdir -p build-fuzz/findings
status=0
for source in tests/fuzz/fuzz_*.cpp; do
  target=$(basename "$source" .cpp)
  name=${target#fuzz_}
  work=build-fuzz/corpus/$name
  mkdir -p "$work"
  if [ "$mode" = seconds ]; then limit="-max_total_time=$amount"; else limit="-runs=$amount"; fi
  echo "fuzzing $name ($mode $amount)"
  if ! ./build-fuzz/"$target" $limit -seed=1 -print_final_stats=1 -artifact_prefix=build-fuzz/findings/"$name"- \
      "$work" tests/fuzz/corpus/"$name" >build-fuzz/"$name".log 2>&1; then
    echo "fuzz target $name found a fault:"; tail -n 40 build-fuzz/"$name".log; status=1
  else
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' build-fuzz/"$name".log | tr '\n' ' '; echo
  fi
done
exit $status

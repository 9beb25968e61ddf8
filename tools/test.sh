#!/usr/bin/env bash
# Runs every test: the optimised build's core and window tests, the core tests once more
# under AddressSanitizer and UBSan, and each file-reader fuzzer for a bounded time.
#   STRNUM_FUZZ_SECONDS  seconds per fuzzer (default 30; 0 skips fuzzing)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
jobs=$(nproc)

echo "== the tree stands alone"
bash tools/check_tree.sh

echo "== optimised build and tests"
bash tools/build.sh
ctest --preset release -j"$jobs"

echo "== core tests under AddressSanitizer and UBSan"
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs" --target strnum_core_tests strnum-cli
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    build/asan/tests/strnum_core_tests --gtest_brief=1

seconds=${STRNUM_FUZZ_SECONDS:-30}
if ((seconds > 0)); then
    echo "== fuzzers, ${seconds} s each"
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j"$jobs"
    for fuzzer in build/fuzz/fuzz/fuzz_*; do
        [[ -x $fuzzer ]] || continue
        name=$(basename "$fuzzer")
        seeds="fuzz/corpus_${name#fuzz_}"
        work=$(mktemp -d)
        [[ -d $seeds ]] && cp -r "$seeds/." "$work/"
        echo "-- $name"
        "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 "$work" \
            2>"$work.log" || { tail -60 "$work.log"; exit 1; }
        grep -E "^#[0-9]+.*DONE" "$work.log" | tail -1 || true
        rm -rf "$work" "$work.log"
    done
fi
echo "All test stages passed."

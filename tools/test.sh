#!/usr/bin/env bash
# Runs every test: the optimised build's core and window tests, the core tests once more
# under AddressSanitizer and UBSan, the Windows build's core tests under Wine, and each
# file-reader fuzzer for a bounded time.
#   STRNUM_FUZZ_SECONDS  seconds per fuzzer (default 12; 0 skips fuzzing; tools/fuzz.sh for long runs)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
jobs=$(nproc)

echo "== the tree stands alone, its layers go down"
bash tools/check_tree.sh
bash tools/check_layers.sh

echo "== optimised build and tests"
bash tools/build.sh
ctest --preset release -j"$jobs"

echo "== core tests under AddressSanitizer and UBSan"
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs" --target strnum_core_tests strnum-cli
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    build/asan/tests/strnum_core_tests --gtest_brief=1

echo "== Windows build: core, strnum-cli.exe and the core tests under Wine"
bash tools/windows.sh

seconds=${STRNUM_FUZZ_SECONDS:-12}
if ((seconds > 0)); then
    echo "== fuzzers, ${seconds} s each"
    bash tools/fuzz.sh "$seconds"
fi
echo "All test stages passed."

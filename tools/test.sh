#!/usr/bin/env bash
# Runs every test: the optimised programs and window tests (g++), the core tests under
# AddressSanitizer and UBSan (clang, the build that also holds the fuzzers), the Windows
# build's core tests under Wine (tools/windows.sh), and each file-reader fuzzer for a bounded
# time.  Each stage says how long it took.  The core tests are built and run once on Linux,
# in the sanitized build; `ctest --preset release` runs them in the optimised build too, for a
# developer's quick turn.
#   STRNUM_FUZZ_SECONDS  seconds per fuzzer (default 8; 0 skips fuzzing; tools/fuzz.sh for long runs)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
stage_start=$SECONDS
stage() {
    (( SECONDS > stage_start )) && echo "   ($((SECONDS - stage_start)) s)"
    stage_start=$SECONDS
    echo "== $*"
}

stage "packages"
bash tools/setup.sh

stage "the tree stands alone, its layers go down"
bash tools/check_tree.sh
bash tools/check_layers.sh

stage "optimised programs, benchmarks and window tests"
benchmarks=()
for src in bench/*.cpp; do benchmarks+=("$(basename "$src" .cpp)"); done
bash tools/build.sh release --target strnum strnum-cli strnum_gui_tests "${benchmarks[@]}"
QT_QPA_PLATFORM=offscreen build/release/tests/gui/strnum_gui_tests

stage "core tests under AddressSanitizer and UBSan"
bash tools/build.sh asan --target strnum_core_tests strnum-cli strnum_edit_worker
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    build/asan/tests/strnum_core_tests --gtest_brief=1

stage "Windows build (MinGW-w64)"
bash tools/windows.sh build

# The fuzzers keep one processor busy for a fixed time each; the Windows core tests under Wine,
# which wait on Wine's server and the disk more than they compute, run beside them.
seconds=${STRNUM_FUZZ_SECONDS:-8}
if ((seconds > 0)); then
    stage "fuzzers, ${seconds} s each, and beside them the Windows core tests under Wine"
    bash tools/windows.sh test >build/windows/test.log 2>&1 &
    windows_tests=$!
    trap 'kill "$windows_tests" 2>/dev/null || true' EXIT  # nothing left running if this run ends
    fuzzing=0
    bash tools/fuzz.sh "$seconds" || fuzzing=$?
    windows=0
    wait "$windows_tests" || windows=$?
    trap - EXIT
    cat build/windows/test.log
    ((fuzzing == 0 && windows == 0))
else
    stage "Windows core tests under Wine"
    bash tools/windows.sh test
fi
bash tools/windows.sh package
stage "done"
echo "All test stages passed in $SECONDS s."

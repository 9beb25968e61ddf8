#!/usr/bin/env bash
# Configures and builds a preset (default: the optimised programs and tests in build/release).
#   tools/build.sh [PRESET] [cmake --build arguments...]
# Where ccache is installed it keeps the compiled objects between builds and checkouts.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=release
if (($#)) && [[ $1 != -* ]]; then preset=$1; shift; fi
if command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(cd .. && pwd)}
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)" "$@"

#!/usr/bin/env bash
# Configures and builds the optimised programs and tests into build/release.
# Where ccache is installed it keeps the compiled objects between builds and checkouts.
set -euo pipefail
cd "$(dirname "$0")/.."
if command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(cd .. && pwd)}
fi
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)"

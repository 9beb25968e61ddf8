#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the bundled demo region.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
bash tools/build.sh
build/release/cli/strnum-cli number 123456789

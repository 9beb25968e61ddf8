#!/usr/bin/env bash
# Installs what is missing, builds, writes the demonstration region into build/demo-region
# and runs the number assignment on it: in the desktop program when a display is there
# (the directories are filled in; press "Простановка номеров"), through strnum-cli otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
bash tools/build.sh
region=build/demo-region
rm -rf "$region"
build/release/cli/strnum-cli demo "$region"
if [[ -n ${DISPLAY:-} && -x build/release/gui/strnum ]]; then
    cp "$region/SOBES.INI" build/release/gui/SOBES.INI
    exec build/release/gui/strnum
fi
cd "$region"
exec ../release/cli/strnum-cli assign

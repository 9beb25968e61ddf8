#!/usr/bin/env bash
# Screenshots of the two windows for the README, taken under Xvfb as a user would see them:
# the window tests write them while they run the number assignment over a demonstration
# region.  Writes docs/frmMain.png, docs/frmMain-debug.png and docs/frmReport.png and the others in docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p docs
STRNUM_SCREENSHOT_DIR="$PWD/docs" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x800x24" build/release/tests/gui/strnum_gui_tests >/dev/null
ls -l docs/*.png

#!/usr/bin/env bash
# Pictures of the desktop windows (main window, progress window, About box, the View sheet,
# the new-ID dialogs, the certificate dialog) as a user sees them on an X display: the
# windows are opened by the dialogs' own code under a virtual display and saved as PNG
# files into docs/screenshots/. Needs xvfb-run (Debian: xvfb xauth) and a build with Qt.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/default}
cmake --build "$build" --target qtfront_tests
out="$PWD/docs/screenshots"
mkdir -p "$out"
QT_QPA_PLATFORM=xcb QM_SCREENSHOT_DIR="$out" xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/tests/qtfront_tests" --gtest_filter=QtFrontEnd.Screenshots
ls -l "$out"

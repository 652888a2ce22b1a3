#!/usr/bin/env bash
# Draws both windows and the help window under Xvfb and puts the pictures in docs/. Run scripts/dev.sh test (or run) first, so
# that the packages are installed and the build is up to date.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TSUMOTTO_BUILD_DIR:-$here/build}
cmake --build "$build" --target render_windows
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" "$build/tests/render_windows" "$here/docs"

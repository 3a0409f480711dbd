#!/usr/bin/env bash
# Renders the window after 21 seconds of the demo device into
# docs/screenshot.png, under the offscreen platform (no display needed).
# Run after ./run test.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build/test --target window-screenshot
QT_QPA_PLATFORM=offscreen build/test/tools/window-screenshot docs/screenshot.png
echo "wrote docs/screenshot.png"

#!/usr/bin/env bash
# Renders the Windows program's window under Wine (Xvfb, a fresh Wine prefix)
# after 21 ticks of the demo device into docs/screenshot-windows.png: the
# Windows platform plugin and style, the in-process demo device. Run after
# ./run windows.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build/windows/build
cmake --build "$build" --target window-screenshot
export WINEPREFIX=$PWD/$build/wine/screenshot WINEDEBUG=-all
tools/windows/wine-prefix.sh "$WINEPREFIX"
dlls=$(sed -n 's/^SENSOR_MONITOR_DLL_DIRS=//p' "$build/wine-dll-dirs.txt")
WINEPATH=$(tr ':' '\n' <<<"$dlls" | sed 's|^|Z:|; s|/|\\|g' | paste -sd';')
export WINEPATH
xvfb-run -a -s '-screen 0 1280x1024x24' wine "$build/window-screenshot.exe" docs/screenshot-windows.png
echo "wrote docs/screenshot-windows.png"

#!/usr/bin/env bash
# Takes the pictures in docs/ that come from the Linux build, offscreen (no
# display needed), each from the window's own code with the demo device:
#   docs/screenshot.png            the window after 21 seconds of the demo device
#   docs/screenshot-200.png        the same at 200 % (QT_SCALE_FACTOR=2)
#   docs/message-port-busy.png     «Повторная попытка Открыть Com порт»
#   docs/message-port-missing.png  «Невозможно Открыть Com порт 2»
#   docs/message-device-lost.png   «Связь с Com 1 потеряна: ...»
# Run after ./run test, or name another build folder configured with
# -DSENSOR_MONITOR_TESTS=ON: tools/screenshot.sh build/NAME
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
cmake --build "$build" --target window-screenshot >/dev/null
shot=$build/tools/window-screenshot
export QT_QPA_PLATFORM=offscreen
# The two window pictures take 21 seconds each; they are taken side by side.
"$shot" docs/screenshot.png &
window=$!
QT_SCALE_FACTOR=2 "$shot" docs/screenshot-200.png &
window200=$!
for box in port-busy port-missing device-lost; do
    "$shot" --box "$box" "docs/message-$box.png" >/dev/null
    echo "wrote docs/message-$box.png"
done
wait $window && echo "wrote docs/screenshot.png"
wait $window200 && echo "wrote docs/screenshot-200.png"

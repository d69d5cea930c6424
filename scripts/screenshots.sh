#!/bin/sh
# Renders the main window before and after a check pass, and the engine's
# what's-new, agreement and animation windows, into docs/, on Qt's
# offscreen platform (no display needed).
#   scripts/screenshots.sh [build folder]     (default: build-qt)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-qt}
cmake --build "$build" --target qt_screenshots zephron -j2
QT_QPA_PLATFORM=offscreen "$build/tests/qt/qt_screenshots" "$build/app/window/zephron" "$root/docs"
echo "written: $root/docs/window-start.png $root/docs/window-after-check.png $root/docs/whatsnew-plain.png $root/docs/whatsnew-rich.png $root/docs/agreement.png $root/docs/animation.png"

#!/bin/sh
# Renders the Win32 main window, the login form and a rich what's-new text
# into docs/windows-*.png: the screenshot program runs under Wine on an Xvfb
# display of its own, with a Wine prefix of its own, and writes BMP files
# that Pillow (python3-pil) turns into PNG.
#   scripts/windows-screenshots.sh [Windows build folder]     (default: build-win)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-win}
cmake --build "$build" --target win32_screenshots -j2
work=$build/screenshots
mkdir -p "$work/home" "$work/prefix" "$work/out"

display=120
while [ -e /tmp/.X$display-lock ] || [ -e /tmp/.X11-unix/X$display ]; do display=$((display + 1)); done
Xvfb :$display -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 </dev/null &
xvfb=$!
export WINEPREFIX=$work/prefix HOME=$work/home DISPLAY=:$display WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winedbg.exe="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  kill $xvfb 2>/dev/null || true
}
trap cleanup EXIT
i=0
while [ ! -S /tmp/.X11-unix/X$display ]; do
  i=$((i + 1)); [ $i -gt 100 ] && { cat "$work/xvfb.log"; exit 1; }
  sleep 0.1
done

# Without a window manager on the display, Wine draws the window frames itself.
# The caption buttons' glyphs come from Marlett, which Debian keeps outside
# Wine's own font folder.
wine cmd /c exit >/dev/null 2>&1 </dev/null
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 </dev/null
wine "$build/tests/windows/win32_screenshots.exe" "$(winepath -w "$work/out")" </dev/null
for name in windows-main windows-login windows-whatsnew; do
  /usr/bin/python3 -c 'import sys; from PIL import Image; Image.open(sys.argv[1]).save(sys.argv[2], optimize=True)' \
    "$work/out/$name.bmp" "$root/docs/$name.png"
  echo "written: $root/docs/$name.png"
done

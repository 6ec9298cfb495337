#!/bin/sh
# Starts the emulator in a window, or, without a display, runs it headless on the
# built-in firmware and writes the picture it ends with.
BUILD=${1:-build}
if [ -n "$DISPLAY" ] || [ -n "$WAYLAND_DISPLAY" ]; then
    exec "$BUILD/nevemulator"
fi
echo "No display: running the emulator headless for 250 frames (5 emulated seconds)."
"$BUILD/nevemulator" --headless --screenshot "$BUILD/screenshot.png" || exit $?
echo "The picture is in $BUILD/screenshot.png"

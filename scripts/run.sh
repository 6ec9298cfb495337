#!/bin/sh
# Starts the emulator in a window, or headless with a screenshot when there is no display.
BUILD=${1:-build}
if [ -x "$BUILD/nevemulator" ]; then
    if [ -n "$DISPLAY" ] || [ -n "$WAYLAND_DISPLAY" ]; then
        exec "$BUILD/nevemulator"
    fi
    echo "No display: running headless; the picture goes to $BUILD/screenshot.png"
    exec "$BUILD/nevemulator" --headless --screenshot "$BUILD/screenshot.png"
fi
echo "The main window is not built yet: running the machine core headless."
exec "$BUILD/cpm-run" --boot

#!/usr/bin/env bash
# Builds the desktop program when needed and saves pictures of its window: OUTPUT.png at the
# size it starts with, OUTPUT-resized.png resized to WIDTHxHEIGHT on a larger screen.
# Usage: scripts/screenshot.sh [OUTPUT.png [WIDTHxHEIGHT]]
#        (defaults /tmp/vorlix-window.png and 1200x780)
# VORLIX_BUILD_DIR names another build folder than build/; QT_SCALE_FACTOR=2 and
# VORLIX_SCREEN=1280x900 try a scaled window on a screen of that size.
# The window is shown under Xvfb (installed by scripts/install-deps.sh screenshot), with the
# examples folder open; the program saves its own window (VORLIX_SCREENSHOT) and prints
# where it lies on the screen.
set -euo pipefail
out="${1:-/tmp/vorlix-window.png}"
resized="${2:-1200x780}"
[[ "$out" == /* ]] || out="$PWD/$out"
[[ "$resized" =~ ^[0-9]+x[0-9]+$ ]] || { echo "Not a size: $resized" >&2; exit 2; }
cd "$(dirname "$0")/.."
root=$PWD
build="${VORLIX_BUILD_DIR:-build}"
[[ "$build" == /* ]] || build="$root/$build"

scripts/install-deps.sh screenshot
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVORLIX_BUILD_TESTS=OFF \
        -DVORLIX_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target vorlix -j"$(nproc)"

# One picture: the window on a virtual screen of size $1, resized to $2 when given.
shoot() {
    local screen="$1" size="$2" file="$3"
    VORLIX_SCREENSHOT="$file" VORLIX_SCREENSHOT_SIZE="$size" \
        xvfb-run -a -s "-screen 0 ${screen}x24" "$build/vorlix"
    echo "Saved $file"
}
cd examples
width="${resized%x*}"
height="${resized#*x}"
shoot "${VORLIX_SCREEN:-1024x768}" "" "$out"
shoot "$((width + 200))x$((height + 200))" "$resized" "${out%.png}-resized.png"

#!/usr/bin/env bash
# Builds the desktop program when needed and saves a picture of its window.
# Usage: scripts/screenshot.sh [OUTPUT.png]   (default /tmp/vorlix-window.png)
# VORLIX_BUILD_DIR names another build folder than build/.
# The window is shown under Xvfb when xvfb-run is there, else on Qt's offscreen platform,
# with the examples folder open; the program saves its own window (VORLIX_SCREENSHOT).
set -euo pipefail
out="${1:-/tmp/vorlix-window.png}"
[[ "$out" == /* ]] || out="$PWD/$out"
cd "$(dirname "$0")/.."
root=$PWD
build="${VORLIX_BUILD_DIR:-build}"
[[ "$build" == /* ]] || build="$root/$build"

if [[ ! -f "$build/CMakeCache.txt" ]]; then
    scripts/install-deps.sh run
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVORLIX_BUILD_TESTS=OFF \
        -DVORLIX_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target vorlix -j"$(nproc)"

cd examples
if command -v xvfb-run >/dev/null; then
    VORLIX_SCREENSHOT="$out" xvfb-run -a -s "-screen 0 1024x768x24" "$build/vorlix"
else
    VORLIX_SCREENSHOT="$out" QT_QPA_PLATFORM=offscreen "$build/vorlix"
fi
echo "Saved $out"

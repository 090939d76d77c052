#!/usr/bin/env bash
# Installs what is missing, builds the program and opens its window on the bundled
# examples. Without a display it says so and prints the report of an example instead.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVORLIX_BUILD_TESTS=OFF -DVORLIX_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)"

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    # The window takes no arguments: it opens on the folder it is started in.
    cd examples
    exec "$root/build/vorlix"
fi

echo
echo "No display to open the window on; the report of examples/sales.xls instead:"
echo
build/vorlix-cli info examples/sales.xls --contents

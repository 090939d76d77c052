#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it on the bundled examples.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVORLIX_BUILD_TESTS=OFF -DVORLIX_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)"

example=examples/sales.xls
echo
echo "== vorlix-cli streams $example"
build/vorlix-cli streams "$example"
echo
echo "== vorlix-cli records $example"
build/vorlix-cli records "$example"

#!/usr/bin/env bash
# Measures what opening each input of the two workbook harnesses costs, in an optimised
# build without sanitizers: every input runs in a process of its own, and its peak memory
# and processor time are held against 64 MB + 40 x N and 1 s + 1 s per MB for N bytes.
# Prints the worst inputs; fails when any goes beyond.
# Usage: scripts/fuzz-bounds.sh [FOLDER...]
#   The folders hold inputs of fuzz_workbook (whole files) unless their path names
#   fuzz_stream (workbook streams). By default: the kept inputs, and the inputs scripts/fuzz.sh
#   collected in build-fuzz/corpus/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
cmake -S . -B build-bounds -DCMAKE_BUILD_TYPE=Release -DVORLIX_BUILD_GUI=OFF \
    -DVORLIX_BUILD_TESTS=ON -DVORLIX_BUILD_BENCH=OFF >/dev/null
cmake --build build-bounds -j"$(nproc)" --target fuzz_workbook fuzz_stream >/dev/null

folders=("$@")
if [[ ${#folders[@]} -eq 0 ]]; then
    for h in fuzz_workbook fuzz_stream; do
        folders+=("tests/fuzz-regressions/$h")
        [[ -d "build-fuzz/corpus/$h" ]] && folders+=("build-fuzz/corpus/$h")
    done
fi
status=0
for folder in "${folders[@]}"; do
    harness=fuzz_workbook
    [[ "$folder" == *fuzz_stream* ]] && harness=fuzz_stream
    echo "== $folder ($harness)"
    build-bounds/fuzz/$harness --bounds "$folder" || status=1
done
exit $status

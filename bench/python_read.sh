#!/usr/bin/env bash
# Times vorlix.read_excel of the 65536 x 40 benchmark workbook against xlrd's open_workbook
# plus building the same DataFrame, in the same run (bench/python_read.py); fails when it
# is less than 5 times faster.
# Usage: bench/python_read.sh [RUNS]   (best of RUNS, default 3)
#
# Builds the module and read_bench without sanitizers in build-bench and generates the
# benchmark workbooks into build-bench/workbooks/ when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."

runs="${1:-3}"
scripts/install-deps.sh python
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVORLIX_BUILD_GUI=OFF \
    -DVORLIX_BUILD_TESTS=OFF -DVORLIX_BUILD_BENCH=ON -DVORLIX_BUILD_PYTHON=ON >/dev/null
cmake --build build-bench -j"$(nproc)" --target read_bench _vorlix >build-bench/build.log 2>&1 ||
    { tail -n 40 build-bench/build.log >&2; exit 1; }
dir=build-bench/workbooks
if [[ ! -f $dir/large.xls ]]; then
    mkdir -p "$dir"
    build-bench/bench/read_bench --generate "$dir"
fi
# The system interpreter, to which Debian's pandas and xlrd belong.
python=/usr/bin/python3
[[ -x $python ]] || python=python3
PYTHONPATH=build-bench/python "$python" bench/python_read.py "$dir/large.xls" --runs "$runs"

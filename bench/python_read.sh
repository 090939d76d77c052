#!/usr/bin/env bash
# Times vorlix.read_excel of the 65536 x 40 benchmark workbooks, of values and with formulas,
# against xlrd's open_workbook plus building the same DataFrame, in the same run
# (bench/python_read.py); fails when it is less than 5 times faster.
# Usage: bench/python_read.sh [RUNS]   (best of RUNS, default 3)
#
# Builds the module and read_bench without sanitizers in build-bench and generates the
# benchmark workbooks into build-bench/workbooks/ when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."

runs="${1:-3}"
source bench/python-setup.sh
status=0
for workbook in large formulas; do
    echo "$workbook.xls:"
    PYTHONPATH=build-bench/python "$python" bench/python_read.py "$dir/$workbook.xls" \
        --runs "$runs" || status=1
done
exit $status

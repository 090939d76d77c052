#!/usr/bin/env bash
# Times examples/python/batch_to_csv.py (vorlix.dask.read_excel, then CSV files) on a folder
# of 20 copies of the 65536 x 40 benchmark workbook with a LocalCluster of 1 and of 2
# workers, and prints the workbooks read and written per second and the speed-up.
# Usage: bench/python_dask.sh [COPIES]   (default 20)
#
# Builds the module as bench/python_read.sh does (bench/python-setup.sh). The copies go to
# build-bench/dask/in (real copies: a workbook is locked while it is read, and links would
# share the lock), the CSV files to build-bench/dask/out-N, removed after each run.
set -euo pipefail
cd "$(dirname "$0")/.."

copies="${1:-20}"
source bench/python-setup.sh
work=build-bench/dask
rm -rf "$work/in"
mkdir -p "$work/in"
for ((i = 1; i <= copies; i++)); do
    cp "$dir/large.xls" "$work/in/large$i.xls"
done

declare -A seconds
for workers in 1 2; do
    out="$work/out-$workers"
    rm -rf "$out"
    start=$(date +%s.%N)
    PYTHONPATH=build-bench/python "$python" examples/python/batch_to_csv.py "$work/in" "$out" \
        --workers "$workers" --format csv | sed "s/^/  $workers worker(s): /"
    end=$(date +%s.%N)
    seconds[$workers]=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
    rm -rf "$out"
done
awk -v one="${seconds[1]}" -v two="${seconds[2]}" -v n="$copies" 'BEGIN {
    printf "  %d workbooks: 1 worker %.1f s, %.2f workbooks/s; 2 workers %.1f s, %.2f workbooks/s; speed-up %.2f x\n",
           n, one, n / one, two, n / two, one / two }'

#!/usr/bin/env bash
# Times the folder export and the folder search on one core (one workbook at a time) and
# with several workbooks at once on every core, and prints the speed-up.
# Usage: bench/scaling.sh [COPIES] [JOBS] [RUNS]
#   COPIES copies of large.xls in the folder (default 20), JOBS workbooks at once for the
#   parallel runs (default: the number of cores), best of RUNS (default 1).
#
# Builds vorlix-cli and read_bench without sanitizers in build-bench (or in the folder
# VORLIX_BENCH_BUILD names), generates large.xls (65536 x 40 cells) into its workbooks/
# folder when it is missing, and copies it COPIES times into workbooks/scaling/. The export
# writes one CSV file per workbook beside it (about 40 MB each); they are removed after
# each run.
set -euo pipefail
cd "$(dirname "$0")/.."

copies="${1:-20}"
jobs="${2:-$(nproc)}"
runs="${3:-1}"
build="${VORLIX_BENCH_BUILD:-build-bench}"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVORLIX_BUILD_GUI=OFF \
    -DVORLIX_BUILD_TESTS=OFF -DVORLIX_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target vorlix-cli read_bench >"$build/build.log" 2>&1 ||
    { tail -n 40 "$build/build.log" >&2; exit 1; }
cli="$build/vorlix-cli"
workbooks="$build/workbooks"
if [[ ! -f $workbooks/large.xls ]]; then
    mkdir -p "$workbooks"
    "$build/bench/read_bench" --generate "$workbooks"
fi

folder="$workbooks/scaling"
rm -rf "$folder"
mkdir -p "$folder"
for ((i = 1; i <= copies; i++)); do
    cp "$workbooks/large.xls" "$folder/large$(printf '%02d' "$i").xls"
done
trap 'rm -rf "$folder"' EXIT

# Seconds (best of RUNS) of a command, its output discarded; the files it wrote are removed.
measure() {
    local best=""
    for ((r = 0; r < runs; r++)); do
        local start end t
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1 || true
        end=$(date +%s.%N)
        t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
        rm -f "$folder"/*.csv
        if [[ -z $best ]] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then
            best=$t
        fi
    done
    echo "$best"
}

# One core: the run is held to the first core, where a workbook's cells are rendered on one
# thread too; then every core.
echo "$copies copies of large.xls (65536 x 40 cells), $(nproc) cores"
printf '%-8s %14s %16s %9s\n' command "1 core (s)" "-j $jobs (s)" speed-up
for command in export search; do
    if [[ $command == export ]]; then
        one=$(measure taskset -c 0 "$cli" export "$folder" -j 1)
        many=$(measure "$cli" export "$folder" -j "$jobs")
    else
        one=$(measure taskset -c 0 "$cli" search "no such text" "$folder" -j 1)
        many=$(measure "$cli" search "no such text" "$folder" -j "$jobs")
    fi
    printf '%-8s %10s %10s %8sx\n' "$command" "$one" "$many" \
        "$(awk -v a="$one" -v b="$many" 'BEGIN { printf "%.2f", a / b }')"
done

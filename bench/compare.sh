#!/usr/bin/env bash
# Times vorlix-cli against catdoc's xls2csv (the fastest existing converter) on the same
# files in the same run, and prints each target as a ratio to it, with peak memory.
# Usage: bench/compare.sh [RUNS]   (best of RUNS, default 3)
#
# Builds vorlix-cli and read_bench without sanitizers in build-bench, generates the
# benchmark workbooks into build-bench/workbooks/ when they are missing (65536 x 40 cells:
# numbers, texts and dates; the same with NUMBER records only; as LibreOffice writes them,
# a formula in every tenth cell; as Excel writes them, the formulas shared; 200 sheets of
# 1300 x 10 cells), and installs catdoc and GNU time when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."

runs="${1:-3}"
scripts/install-deps.sh bench
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVORLIX_BUILD_GUI=OFF \
    -DVORLIX_BUILD_TESTS=OFF -DVORLIX_BUILD_BENCH=ON >/dev/null
cmake --build build-bench -j"$(nproc)" --target vorlix-cli read_bench >build-bench/build.log 2>&1 ||
    { tail -n 40 build-bench/build.log >&2; exit 1; }
cli=build-bench/vorlix-cli
dir=build-bench/workbooks
if [[ ! -f $dir/large.xls || ! -f $dir/numbers.xls || ! -f $dir/sheets-large.xls ||
    ! -f $dir/empty.xls || ! -f $dir/lo-style.xls || ! -f $dir/excel-style.xls ]]; then
    mkdir -p "$dir"
    build-bench/bench/read_bench --generate "$dir"
fi

timing=$(mktemp)

# best SECONDS and its peak memory (MB) of RUNS runs of a command, its output discarded
measure() {
    local best="" mem=""
    for ((i = 0; i < runs; i++)); do
        /usr/bin/time -o "$timing" -f "%e %M" "$@" >/dev/null 2>&1 || true
        local out t m
        out=$(tail -n 1 "$timing")
        t=${out% *}
        m=${out#* }
        if [[ -z $best ]] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then
            best=$t
            mem=$m
        fi
    done
    echo "$best $((mem / 1024))"
}

# The search of catdoc's converter: its CSV through grep.
xls2csv_search() {
    xls2csv -d utf-8 "$1" | grep -c "$2"
}
export -f xls2csv_search

status=0
report() {  # TASK VORLIX_SECONDS VORLIX_MB BASE_SECONDS BASE_MB TARGET
    local ratio
    ratio=$(awk -v a="$2" -v b="$4" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
    local verdict=met
    awk -v r="$ratio" -v t="$6" 'BEGIN { exit !(r > t) }' && { verdict=missed; status=1; }
    printf "  %-28s %6.2f s %6d MB   xls2csv %6.2f s %6d MB   ratio %5s (target %s) %s\n" \
        "$1" "$2" "$3" "$4" "$5" "$ratio" "$6" "$verdict"
}

word="number 4321"
read -r _ empty_m < <(measure "$cli" info "$dir/empty.xls")
out=$(mktemp -d)
trap 'rm -f "$timing"; rm -rf "$out"' EXIT
for book in large numbers lo-style excel-style sheets-large; do
    file=$dir/$book.xls
    echo "== $book.xls ($(du -h "$file" | cut -f1))"
    read -r open_t open_m < <(measure "$cli" info "$file")
    # The sheet with display texts; every sheet of the many-sheet workbook, as xls2csv
    # writes every sheet.
    if [[ $book == sheets-large ]]; then
        read -r csv_t csv_m < <(measure "$cli" export "$file" --all-in-one -o -)
    else
        read -r csv_t csv_m < <(measure "$cli" export "$file" -o -)
    fi
    read -r find_t find_m < <(measure "$cli" search "$word" "$file")
    if ! command -v xls2csv >/dev/null; then
        printf "  open %.2f s %d MB, open + CSV %.2f s %d MB, open + search %.2f s %d MB\n" \
            "$open_t" "$open_m" "$csv_t" "$csv_m" "$find_t" "$find_m"
        echo "  (xls2csv is not installed: no ratios)"
        continue
    fi
    read -r base_t base_m < <(measure xls2csv -d utf-8 "$file")
    read -r basefind_t basefind_m < <(measure bash -c 'xls2csv_search "$0" "$1"' "$file" "$word")
    report "open" "$open_t" "$open_m" "$base_t" "$base_m" 0.10
    report "open + CSV" "$csv_t" "$csv_m" "$base_t" "$base_m" 0.25
    report "open + search" "$find_t" "$find_m" "$basefind_t" "$basefind_m" 0.20
    mem_ratio=$(awk -v a="$open_m" -v b="$base_m" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
    if [[ $book != sheets-large ]]; then
        verdict=met
        awk -v r="$mem_ratio" 'BEGIN { exit !(r > 0.5) }' && { verdict=missed; status=1; }
        printf "  %-28s ratio %5s (target 0.5) %s\n" "peak memory of open" "$mem_ratio" "$verdict"
        continue
    fi
    # xls2csv streams this one sheet by sheet in a few MB, which no reader that keeps the
    # workbook can match on opening it whole; the target there is its meaning: under 25
    # bytes per cell (2.6 million cells) plus the strings and the program itself.
    per_cell=$(awk -v m="$open_m" -v e="$empty_m" \
        'BEGIN { printf "%.1f", (m - e) * 1048576 / 2600000 }')
    verdict=met
    awk -v r="$per_cell" 'BEGIN { exit !(r > 25) }' && { verdict=missed; status=1; }
    printf "  %-28s %s bytes per cell above an empty workbook's %d MB (target 25) %s; ratio %s\n" \
        "peak memory of open" "$per_cell" "$empty_m" "$verdict" "$mem_ratio"
    # One sheet of it, against xls2csv's whole workbook.
    read -r one_t one_m < <(measure "$cli" export "$file" --sheet 100 -o -)
    report "export --sheet 100" "$one_t" "$one_m" "$base_t" "$base_m" 0.02
    # Every sheet, into files of their own and into one file: memory against xls2csv's.
    read -r sep_t sep_m < <(measure "$cli" export "$file" --separate -o "$out/sep.csv")
    read -r all_t all_m < <(measure "$cli" export "$file" --all-in-one -o "$out/all.csv")
    for row in "--separate $sep_m" "--all-in-one $all_m"; do
        mode=${row% *}
        mem=${row#* }
        ratio=$(awk -v a="$mem" -v b="$base_m" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
        verdict=met
        awk -v r="$ratio" 'BEGIN { exit !(r > 5) }' && { verdict=missed; status=1; }
        printf "  %-28s %6d MB   xls2csv %6d MB   ratio %5s (target 5) %s\n" \
            "peak memory of $mode" "$mem" "$base_m" "$ratio" "$verdict"
    done
    rm -f "$out"/*
done
exit $status

#!/usr/bin/env bash
# Builds the fuzz harnesses with clang and libFuzzer in build-fuzz and runs each one for
# SECONDS (default 30).
# Usage: scripts/fuzz.sh [--ci] [SECONDS] [HARNESS...]
#
# Each harness starts from the kept inputs of tests/fuzz-regressions/<harness>/, the seeds
# that fuzz_seeds writes with the tests' workbook builder, and, for the whole-workbook
# harness, the real workbooks of ../shared/corpus when that folder exists. New inputs that
# add coverage go to build-fuzz/corpus/<harness>/; inputs that crash, leak or run past the
# time limit go to build-fuzz/findings/<harness>/ (the script says which at the end and
# fails when there are any). Keep a fault's input as a regression after minimising it:
#   build-fuzz/fuzz/HARNESS -minimize_crash=1 -runs=100000 FILE
#
# The limit is 1 s per input. The sanitizers and the coverage counters make the code several
# times slower than a normal build, so an input over the limit may still be within what
# opening may cost: scripts/fuzz-bounds.sh build-fuzz/findings/HARNESS measures it in an
# optimised build.
#
# --ci is the short run of the test command: the harnesses run side by side (one per core),
# from the kept inputs and the seeds only, with inputs of at most 16 KB, and only an input
# that runs past 10 s counts as a hang.
set -euo pipefail
cd "$(dirname "$0")/.."

ci=0
if [[ "${1:-}" == "--ci" ]]; then
    ci=1
    shift
fi
seconds="${1:-30}"
shift || true
all=(fuzz_workbook fuzz_stream fuzz_formula fuzz_format fuzz_drawing fuzz_hyperlink_validation)
[[ $# -gt 0 ]] && harnesses=("$@") || harnesses=("${all[@]}")

scripts/install-deps.sh fuzz
mkdir -p build-fuzz
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVORLIX_FUZZ=ON -DVORLIX_BUILD_GUI=OFF -DVORLIX_BUILD_TESTS=OFF \
    -DVORLIX_BUILD_BENCH=OFF -DVORLIX_WERROR=ON >/dev/null
if ! cmake --build build-fuzz -j"$(nproc)" --target fuzz_seeds "${harnesses[@]}" >build-fuzz/build.log 2>&1; then
    tail -n 40 build-fuzz/build.log >&2
    exit 1
fi

build-fuzz/fuzz/fuzz_seeds build-fuzz/seeds
corpus_dir="$(cd .. && pwd)/shared/corpus"
timeout=1
limits=()
if [[ $ci -eq 1 ]]; then
    timeout=10
    limits+=(-max_len=16384)
fi

run() {
    local h=$1
    mkdir -p "build-fuzz/corpus/$h" "build-fuzz/findings/$h"
    local extra=()
    if [[ $ci -eq 0 && "$h" == fuzz_workbook && -d "$corpus_dir" ]]; then
        extra+=("$corpus_dir")
    fi
    # The first folder receives the new inputs; the others are only read.
    ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" \
    UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}" \
    "build-fuzz/fuzz/$h" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=2048 \
        "${limits[@]}" -print_final_stats=1 -dict="fuzz/dict/$h.dict" \
        -artifact_prefix="build-fuzz/findings/$h/" \
        "build-fuzz/corpus/$h" "tests/fuzz-regressions/$h" "build-fuzz/seeds/$h" \
        "${extra[@]}" >"build-fuzz/$h.log" 2>&1 || true
    grep -E "^#[0-9]+[[:space:]]+DONE|ERROR|SUMMARY" "build-fuzz/$h.log" | sed "s/^/$h: /" || true
}

parallel=1
[[ $ci -eq 1 ]] && parallel=$(nproc)
for h in "${harnesses[@]}"; do
    echo "== $h: ${seconds}s"
    run "$h" &
    while [[ $(jobs -rp | wc -l) -ge $parallel ]]; do wait -n || true; done
done
wait

findings=0
for h in "${harnesses[@]}"; do
    found=$(find "build-fuzz/findings/$h" -type f | wc -l)
    if [[ $found -gt 0 ]]; then
        echo "$h: $found finding(s) in build-fuzz/findings/$h/ (log: build-fuzz/$h.log)"
        findings=$((findings + found))
    fi
done
if [[ $findings -gt 0 ]]; then
    echo "Findings: $findings input(s) under build-fuzz/findings/" >&2
    exit 1
fi
echo "No findings."

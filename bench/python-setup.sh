# Sourced by the Python benchmarks from the repository's root: installs what they need,
# builds the module and read_bench without sanitizers in build-bench, generates the
# benchmark workbooks into build-bench/workbooks/ when large.xls is missing, and sets
# `dir` (that folder) and `python` (the system interpreter, to which Debian's pandas, xlrd
# and Dask belong).
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
python=/usr/bin/python3
[[ -x $python ]] || python=python3

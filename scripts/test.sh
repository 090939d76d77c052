#!/usr/bin/env bash
# Installs what is missing, checks the sources' layout, builds everything with
# AddressSanitizer and UndefinedBehaviorSanitizer (warnings are errors), runs every test
# (the kept fuzz inputs among them), then runs every fuzz harness for a short while.
#
# The Python module is built in build-asan too, from the libraries the other tests link, and
# its tests (pytest, the CTest test python_tests) load it into the system interpreter with the
# sanitizers' runtimes preloaded (LD_PRELOAD, set by tests/CMakeLists.txt): the module is
# checked by the sanitizers like the rest, and costs no build of its own. Leak detection is off
# for that test: the interpreter keeps its own objects to the end on purpose. The CTest test
# python_package_tests installs the package with pip into a fresh virtual environment (a
# Release build of the module alone, in build-pip/, through ccache when it is there) and runs
# the Python tests against that installation, the Dask clusters' among them.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
scripts/check-format.sh
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
    -DVORLIX_SANITIZE=ON -DVORLIX_WERROR=ON >/dev/null
cmake --build build-asan -j"$(nproc)"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
# 10 s per harness, two at a time on two cores.
scripts/fuzz.sh --ci 10

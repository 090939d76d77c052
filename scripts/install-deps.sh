#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages the build needs, when they are missing.
# Usage: scripts/install-deps.sh [run|test|python|screenshot|fuzz|bench]   (test adds the test
# framework, the locale sources that the build compiles the tests' locales from, clang-format
# for the layout check and everything of python; python adds pybind11 and Python's headers
# for the `vorlix` module, pandas, Dask with its distributed scheduler, and pytest and xlrd,
# which the module's tests compare with, and what `pip install .` builds the package with
# (venv, pip, setuptools, wheel) and mypy, which checks the examples against its types; screenshot adds the virtual X server that
# scripts/screenshot.sh shows the window on; fuzz adds clang and its libFuzzer runtime for scripts/fuzz.sh; bench adds catdoc,
# whose xls2csv bench/compare.sh times, and GNU time)
set -euo pipefail

mode="${1:-run}"
packages=(g++ make cmake pkg-config libgsf-1-dev libcli11-dev nlohmann-json3-dev qt6-base-dev
          zlib1g-dev)
python=(pybind11-dev python3-dev python3-numpy python3-pandas python3-xlrd python3-pytest
        python3-dask python3-distributed python3-venv python3-pip python3-setuptools
        python3-wheel python3-mypy)
if [[ "$mode" == "test" ]]; then
    packages+=(libgtest-dev libgmock-dev locales clang-format "${python[@]}")
elif [[ "$mode" == "python" ]]; then
    packages+=("${python[@]}")
elif [[ "$mode" == "screenshot" ]]; then
    packages+=(xvfb xauth)
elif [[ "$mode" == "fuzz" ]]; then
    packages+=(clang libclang-rt-14-dev libgtest-dev)
elif [[ "$mode" == "bench" ]]; then
    packages+=(catdoc time)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
    sudo=()
elif command -v sudo >/dev/null; then
    sudo=(sudo)
else
    echo "Missing packages (${missing[*]}) and no sudo to install them; please install them as root." >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if ! "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; then
    # The package lists may be missing or stale on a fresh machine.
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

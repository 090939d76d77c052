#!/usr/bin/env bash
# Installs the vorlix package with pip into a fresh virtual environment of the system's
# interpreter and runs the Python tests against that installation, from outside the source
# tree. The environment sees the system's packages (pandas, Dask, pytest, mypy), so pip needs
# no network: it builds with the installed setuptools (--no-build-isolation) and takes no
# package from an index (--no-index). CTest runs it as the test python_package_tests, which
# sets what the tests read (VORLIX_PYTHON_FIXTURES, ...).
# Usage: scripts/test-python-package.sh VENV [PYTEST ARGUMENTS...]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
venv="${1:?usage: scripts/test-python-package.sh VENV [PYTEST ARGUMENTS...]}"
shift

rm -rf "$venv"
/usr/bin/python3 -m venv --system-site-packages "$venv"
venv=$(cd "$venv" && pwd)
# The compiler cache, when there is one, makes a build in a fresh clone cheap too.
if command -v ccache >/dev/null; then
    export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
    export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$source_dir}"
fi
(cd "$source_dir" && "$venv/bin/python" -m pip install --quiet --no-build-isolation \
    --no-index --disable-pip-version-check .) >"$venv/pip.log" 2>&1 ||
    { tail -n 60 "$venv/pip.log" >&2; exit 1; }

cd "$venv"
unset PYTHONPATH
export VORLIX_INSTALLED_IN="$venv"
"$venv/bin/python" -m vorlix --version
exec "$venv/bin/python" -m pytest -q -p no:cacheprovider "$source_dir/tests/python" "$@"

"""Shared fixtures of the Python tests: the workbooks python_fixtures writes, the corpus,
and pandas' xlrd reader as an oracle."""

import os
import subprocess
from pathlib import Path

import pytest

SOURCE_DIR = Path(os.environ.get("VORLIX_SOURCE_DIR", Path(__file__).resolve().parents[2]))


def corpus_dir():
    """The shared corpus: VORLIX_CORPUS, else the build's setting, else ../shared/corpus."""
    for candidate in (
        os.environ.get("VORLIX_CORPUS"),
        os.environ.get("VORLIX_CORPUS_DIR"),
        str(SOURCE_DIR / ".." / "shared" / "corpus"),
    ):
        if candidate and Path(candidate, "manifest.json").is_file():
            return Path(candidate)
    return None


@pytest.fixture(scope="session")
def workbooks(tmp_path_factory):
    """The folder of the workbooks the tests' builder writes (see PythonFixtures.cpp)."""
    program = os.environ.get("VORLIX_PYTHON_FIXTURES")
    if not program:
        pytest.fail("VORLIX_PYTHON_FIXTURES is not set: run the tests through ctest")
    folder = tmp_path_factory.mktemp("workbooks")
    subprocess.run([program, str(folder)], check=True)
    return folder


def xlrd_read_excel(path, **kwargs):
    """pandas.read_excel with the xlrd engine. Debian's pandas asks for xlrd 2, which only
    dropped formats other than .xls; the xlrd 1.2 reader serves .xls files the same way."""
    import pandas as pd
    import pandas.compat._optional as optional

    optional.VERSIONS["xlrd"] = "1.2.0"
    return pd.read_excel(path, engine="xlrd", **kwargs)

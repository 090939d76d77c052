"""examples/python/batch_to_csv.py on a folder of a good, a protected and a damaged
workbook: with its own LocalCluster, and given the address of a running scheduler."""

import csv
import os
import shutil
import subprocess
import sys

import pytest
from conftest import SOURCE_DIR

SCRIPT = SOURCE_DIR / "examples" / "python" / "batch_to_csv.py"


@pytest.fixture
def folder(workbooks, tmp_path):
    source = tmp_path / "in"
    source.mkdir()
    for name in ("typed.xls", "protected.xls", "damaged.xls"):
        shutil.copy(workbooks / name, source / name)
    (source / "readme.txt").write_text("not a workbook, and not named like one")
    return source


def run_script(*args):
    return subprocess.run(
        [sys.executable, str(SCRIPT), *map(str, args)],
        capture_output=True, text=True, timeout=300, env=os.environ.copy())


def check_output(out, result):
    assert result.returncode == 0, result.stderr
    assert "Converted 1 workbook(s) into 2 CSV file(s)" in result.stdout
    assert "skipped 2." in result.stdout
    assert sorted(os.listdir(out)) == ["skipped.csv", "typed_S1.csv", "typed_S2.csv"]
    with open(out / "typed_S1.csv", newline="") as f:
        rows = list(csv.reader(f))
    assert rows[0] == ["int", "float", "date", "bool", "text", "mixed", "numtext", "", "dup",
                       "dup"]
    assert rows[1] == ["1", "1.5", "2009-07-06", "TRUE", "a", "1", "1", "7", "0.5", "d1"]
    assert rows[2][1:6] == ["", "2009-07-07", "FALSE", "NA", "x"]
    with open(out / "typed_S2.csv", newline="") as f:
        assert list(csv.reader(f)) == [["", "", ""], ["", "B2", ""], ["", "", "2.25"]]
    with open(out / "skipped.csv", newline="") as f:
        skipped = {row["file"]: row["reason"] for row in csv.DictReader(f)}
    assert skipped["protected.xls"].startswith("PasswordError: This File is Password Protected")
    assert skipped["damaged.xls"].startswith("DamagedFileError: ")
    assert "skipped protected.xls: PasswordError" in result.stdout


def test_local_cluster_of_two_workers(folder, tmp_path):
    out = tmp_path / "out"
    check_output(out, run_script(folder, out, "--workers", "2"))


def test_remote_scheduler_address(folder, tmp_path):
    from dask.distributed import LocalCluster

    out = tmp_path / "out"
    with LocalCluster(n_workers=1, threads_per_worker=2, processes=True,
                      dashboard_address=None) as cluster:
        check_output(out, run_script(folder, out, "--scheduler", cluster.scheduler_address))

"""examples/python/batch_to_csv.py on a folder of a good, a protected and a damaged
workbook, and a good and a damaged one whose names are not UTF-8: with its own
LocalCluster, and given the address of a running scheduler."""

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
    # The bytes caf\xe9.xls and d\xe9fect.xls, as os.listdir gives them.
    shutil.copy(workbooks / "typed.xls", source / "caf\udce9.xls")
    shutil.copy(workbooks / "damaged.xls", source / "d\udce9fect.xls")
    (source / "readme.txt").write_text("not a workbook, and not named like one")
    return source


def run_script(*args):
    return subprocess.run(
        [sys.executable, str(SCRIPT), *map(str, args)],
        capture_output=True, text=True, timeout=300, env=os.environ.copy())


def check_output(out, result):
    assert result.returncode == 0, result.stderr
    assert "Converted 2 workbook(s) into 4 CSV file(s)" in result.stdout
    assert "skipped 3." in result.stdout
    assert sorted(os.listdir(out)) == ["caf\udce9_S1.csv", "caf\udce9_S2.csv", "skipped.csv",
                                       "typed_S1.csv", "typed_S2.csv"]
    assert (out / "caf\udce9_S1.csv").read_bytes() == (out / "typed_S1.csv").read_bytes()
    with open(out / "typed_S1.csv", newline="") as f:
        rows = list(csv.reader(f))
    assert rows[0] == ["int", "float", "date", "bool", "text", "mixed", "numtext", "", "dup",
                       "dup"]
    assert rows[1] == ["1", "1.5", "2009-07-06", "TRUE", "a", "1", "1", "7", "0.5", "d1"]
    assert rows[2][1:6] == ["", "2009-07-07", "FALSE", "NA", "x"]
    with open(out / "typed_S2.csv", newline="") as f:
        assert list(csv.reader(f)) == [["", "", ""], ["", "B2", ""], ["", "", "2.25"]]
    with open(out / "skipped.csv", newline="", encoding="utf-8") as f:
        skipped = {row["file"]: row["reason"] for row in csv.DictReader(f)}
    assert skipped["protected.xls"].startswith("PasswordError: This File is Password Protected")
    assert skipped["damaged.xls"].startswith("DamagedFileError: ")
    assert skipped["d\\xe9fect.xls"].startswith("DamagedFileError: ")
    assert "skipped protected.xls: PasswordError" in result.stdout
    assert "skipped d\\xe9fect.xls: DamagedFileError" in result.stdout


def test_local_cluster_of_two_workers(folder, tmp_path):
    out = tmp_path / "out"
    check_output(out, run_script(folder, out, "--workers", "2"))


def test_remote_scheduler_address(folder, tmp_path):
    from dask.distributed import LocalCluster

    out = tmp_path / "out"
    with LocalCluster(n_workers=1, threads_per_worker=2, processes=True,
                      dashboard_address=None) as cluster:
        check_output(out, run_script(folder, out, "--scheduler", cluster.scheduler_address))

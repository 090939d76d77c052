"""examples/python/batch_to_csv.py on a folder of a good, a protected and a damaged
workbook, and a good and a damaged one whose names are not UTF-8: with its own
LocalCluster, and given the address of a running scheduler."""

import csv
import os
import shutil
import subprocess
import sys

import pandas as pd
import pytest
from conftest import SOURCE_DIR

SCRIPT = SOURCE_DIR / "examples" / "python" / "batch_to_csv.py"
pytestmark = pytest.mark.installed


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
        [sys.executable, str(SCRIPT), *map(str, args), "--format", "csv"],
        capture_output=True, text=True, timeout=300, env=os.environ.copy())


def check_output(source, out, result):
    assert result.returncode == 0, result.stderr
    assert "Wrote 5 part(s) as csv" in result.stdout
    assert "skipped 3 workbook(s)." in result.stdout
    # The parts in the workbooks' sorted order: caf\xe9, damaged, d\xe9fect, protected, typed.
    assert sorted(os.listdir(out)) == [f"part-0000{i}.csv" for i in range(5)] + ["skipped.csv"]
    typed = pd.read_csv(out / "part-00004.csv")
    assert list(typed.columns) == ["int", "float", "date", "bool", "text", "mixed", "numtext",
                                   "Unnamed: 7", "dup", "dup.1", "path"]
    assert typed["int"].tolist() == [1, 2, 3]
    assert typed["path"].tolist() == [str(source / "typed.xls")] * 3
    first = pd.read_csv(out / "part-00000.csv")
    assert first["path"].tolist() == [f"{source}/caf\\xe9.xls"] * 3
    assert first.drop(columns="path").equals(typed.drop(columns="path"))
    for empty in (1, 2, 3):
        assert len(pd.read_csv(out / f"part-0000{empty}.csv")) == 0
    with open(out / "skipped.csv", newline="", encoding="utf-8") as f:
        skipped = {os.path.basename(row["file"]): row["reason"] for row in csv.DictReader(f)}
    assert skipped["protected.xls"] == "PasswordError: This File is Password Protected"
    assert skipped["damaged.xls"].startswith("DamagedFileError: ")
    assert skipped["d\\xe9fect.xls"].startswith("DamagedFileError: ")
    assert "skipped protected.xls: PasswordError" in result.stdout
    assert "skipped d\\xe9fect.xls: DamagedFileError" in result.stdout


def test_local_cluster_of_two_workers(folder, tmp_path):
    out = tmp_path / "out"
    check_output(folder, out, run_script(folder, out, "--workers", "2"))


def test_remote_scheduler_address(folder, tmp_path):
    from dask.distributed import LocalCluster

    out = tmp_path / "out"
    with LocalCluster(n_workers=1, threads_per_worker=2, processes=True, host="127.0.0.1",
                      dashboard_address=None) as cluster:
        check_output(folder, out,
                     run_script(folder, out, "--scheduler", cluster.scheduler_address))

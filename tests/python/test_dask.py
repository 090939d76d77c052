"""vorlix.dask.read_excel: the frame pandas.concat makes of vorlix.read_excel of each
workbook, on Dask's scheduler in this process, on a LocalCluster and on a scheduler and two
workers started as processes of their own; workbooks that cannot be read; the installed
package."""

import os
import shutil
import signal
import subprocess
import sys
import time

import pandas as pd
import pytest
from conftest import SOURCE_DIR

import vorlix
import vorlix.dask

BATCH_SIZE = 200


@pytest.fixture(scope="session")
def batch(tmp_path_factory):
    """200 small workbooks (see BatchFixtures.cpp): book003.xls, book010.xls, ... have a
    column "note" that the others lack."""
    program = os.environ.get("VORLIX_PYTHON_BATCH_FIXTURES")
    if not program:
        pytest.fail("VORLIX_PYTHON_BATCH_FIXTURES is not set: run the tests through ctest")
    folder = tmp_path_factory.mktemp("batch")
    subprocess.run([program, str(folder), str(BATCH_SIZE)], check=True)
    return folder


def concat_of(files, **kwargs):
    return pd.concat([vorlix.read_excel(f, **kwargs) for f in files])


def check_batch(frame, folder):
    """The computed frame of the whole batch is pandas.concat of each workbook's frame."""
    files = sorted(str(p) for p in folder.glob("*.xls"))
    pd.testing.assert_frame_equal(frame, concat_of(files))
    assert list(frame.columns) == ["id", "name", "value", "note"]
    assert frame["id"].tolist()[:4] == [1, 2, 3, 11]
    assert frame["note"].notna().sum() == len(range(3, BATCH_SIZE, 7))
    assert frame.attrs["skipped"] == []


def test_folder_glob_and_list_in_sorted_order(batch, monkeypatch):
    frame = vorlix.dask.read_excel(batch)
    assert frame.npartitions == BATCH_SIZE
    # The first workbook gives the columns Dask knows; "note" comes in when computed.
    assert list(frame.columns) == ["id", "name", "value"]
    check_batch(frame.compute(scheduler="sync"), batch)

    files = [batch / "book012.xls", batch / "book003.xls", str(batch / "book010.xls")]
    listed = vorlix.dask.read_excel(files, include_path_column=True)
    expected = concat_of(sorted(map(str, files)))
    expected["path"] = [str(batch / f"book{n:03d}.xls") for n in (3, 10, 12) for _ in range(3)]
    pd.testing.assert_frame_equal(listed.compute(scheduler="sync"), expected)

    # A relative glob; the frame names the files by their absolute paths.
    monkeypatch.chdir(batch)
    globbed = vorlix.dask.read_excel("book00[0-2].xls", include_path_column="file", nrows=1)
    assert globbed.compute(scheduler="sync")["file"].tolist() == [
        str(batch / f"book00{n}.xls") for n in range(3)]


def test_every_sheet_and_given_meta(batch):
    files = [batch / "book000.xls", batch / "book003.xls"]
    frame = vorlix.dask.read_excel(files, sheet_name=None, header=None)
    assert frame.npartitions == 4
    expected = []
    for f in files:
        for name, sheet in vorlix.read_excel(f, sheet_name=None, header=None).items():
            expected.append(sheet.assign(sheet=name))
    pd.testing.assert_frame_equal(frame.compute(scheduler="sync"),
                                  pd.concat(expected)[[0, 1, 2, "sheet", 3]])

    named = vorlix.dask.read_excel(files, sheet_name=[-1])
    assert named.compute(scheduler="sync")["sheet"].tolist() == ["Extra", "Extra"]

    meta = pd.DataFrame({"id": pd.Series(dtype="int64"), "note": pd.Series(dtype=object)})
    given = vorlix.dask.read_excel(files, meta=meta)
    assert list(given.columns) == ["id", "note"]
    computed = given.compute(scheduler="sync")
    assert list(computed.columns) == ["id", "note", "name", "value"]
    assert computed["note"].iloc[3] == "n3" and computed["note"].isna().sum() == 5


@pytest.fixture
def mixed(workbooks, batch, tmp_path):
    """Two good workbooks with a damaged one first and a protected one between them."""
    folder = tmp_path / "mixed"
    folder.mkdir()
    shutil.copy(workbooks / "damaged.xls", folder / "a-damaged.xls")
    shutil.copy(batch / "book001.xls", folder / "b.xls")
    shutil.copy(workbooks / "protected.xls", folder / "c-protected.xls")
    shutil.copy(batch / "book002.xls", folder / "d.xls")
    return folder


def test_unreadable_workbooks_fail_or_are_skipped(mixed):
    with pytest.raises(vorlix.DamagedFileError, match="^" + str(mixed / "a-damaged.xls")):
        vorlix.dask.read_excel(mixed)  # the first workbook gives the columns
    meta = vorlix.read_excel(mixed / "b.xls").iloc[:0]
    failing = vorlix.dask.read_excel(mixed, meta=meta)
    with pytest.raises(vorlix.Error) as raised:
        failing.compute(scheduler="sync")
    assert str(raised.value).startswith(str(mixed / "a-damaged.xls") + ": ")

    skipping = vorlix.dask.read_excel(mixed, on_error="skip")
    assert list(skipping.columns) == ["id", "name", "value"]
    frame = skipping.compute(scheduler="sync")
    pd.testing.assert_frame_equal(frame, concat_of([mixed / "b.xls", mixed / "d.xls"]))
    reasons = dict(frame.attrs["skipped"])
    assert list(reasons) == [str(mixed / "a-damaged.xls"), str(mixed / "c-protected.xls")]
    assert reasons[str(mixed / "a-damaged.xls")].startswith("DamagedFileError: ")
    assert reasons[str(mixed / "c-protected.xls")] == (
        "PasswordError: This File is Password Protected")
    assert vorlix.dask.skipped(skipping).compute(scheduler="sync") == frame.attrs["skipped"]

    # Every sheet: the damaged workbook's sheets cannot be listed, the protected one's can
    # with its password (its sheet "Data" is a header and no rows).
    sheets = vorlix.dask.read_excel(mixed, sheet_name=None, on_error="skip", password="secret")
    frame = sheets.compute(scheduler="sync")
    assert [p for p, _ in frame.attrs["skipped"]] == [str(mixed / "a-damaged.xls")]
    assert frame["sheet"].tolist() == (["Data"] * 3 + ["Extra"]) * 2

    with pytest.raises(FileNotFoundError, match="No workbooks found"):
        vorlix.dask.read_excel(mixed / "*.xlsx")
    with pytest.raises(ValueError, match="on_error"):
        vorlix.dask.read_excel(mixed, on_error="ignore")


@pytest.mark.installed
@pytest.mark.parametrize("processes", [True, False], ids=["processes", "threads"])
def test_local_cluster(batch, processes):
    from dask.distributed import Client, LocalCluster

    # Worker processes listen on the loopback address; threads talk within the process.
    where = {"host": "127.0.0.1"} if processes else {}
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=processes,
                      dashboard_address=None, **where) as cluster, \
            Client(cluster) as client:
        frame = vorlix.dask.read_excel(batch)
        check_batch(client.compute(frame).result(), batch)


def start(*args, log):
    """A Dask command (`dask scheduler`, `dask worker`) of this interpreter in a session of
    its own, its output to `log`."""
    return subprocess.Popen([sys.executable, "-m", "dask", *args], stdout=log,
                            stderr=subprocess.STDOUT, start_new_session=True)


@pytest.fixture
def processes_cluster(tmp_path):
    """The address of a scheduler and two workers, each a process of its own, listening on
    random free ports of the loopback address; all stopped at the end, also on failure."""
    scheduler_file = tmp_path / "scheduler.json"
    log_path = tmp_path / "cluster.log"
    processes = []
    with open(log_path, "w") as log:
        try:
            processes.append(start("scheduler", "--host", "127.0.0.1", "--port", "0",
                                   "--no-dashboard", "--scheduler-file", str(scheduler_file),
                                   log=log))
            for n in (1, 2):
                processes.append(start(
                    "worker", "--scheduler-file", str(scheduler_file), "--host", "127.0.0.1",
                    "--nthreads", "1", "--no-nanny", "--no-dashboard", "--name", f"w{n}",
                    "--local-directory", str(tmp_path / f"w{n}"), log=log))
            yield scheduler_file
        finally:
            # The workers first, while the scheduler they report to is there.
            for process in reversed(processes):
                if process.poll() is None:
                    os.killpg(process.pid, signal.SIGTERM)
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    os.killpg(process.pid, signal.SIGKILL)
                    process.wait()


@pytest.mark.installed
def test_scheduler_and_two_worker_processes(processes_cluster, batch, mixed):
    from dask.distributed import Client, wait

    deadline = time.monotonic() + 60
    while not processes_cluster.exists() and time.monotonic() < deadline:
        time.sleep(0.1)
    with Client(scheduler_file=str(processes_cluster), timeout=60) as client:
        client.wait_for_workers(2, timeout=60)
        workers = client.scheduler_info()["workers"]
        assert all(address.startswith("tcp://127.0.0.1:") for address in workers)
        assert client.scheduler.address.startswith("tcp://127.0.0.1:")

        frame = client.persist(vorlix.dask.read_excel(batch))
        wait(frame)
        holders = {w for ws in client.who_has(frame).values() for w in ws}
        assert holders == set(workers)  # both workers read workbooks
        check_batch(frame.compute(), batch)

        skipping = vorlix.dask.read_excel(mixed, on_error="skip")
        assert len(client.compute(skipping).result().attrs["skipped"]) == 2
        damaged = [mixed / "a-damaged.xls", mixed / "b.xls"]
        with pytest.raises(vorlix.DamagedFileError, match=str(damaged[0])):
            client.compute(vorlix.dask.read_excel(damaged, meta=skipping._meta)).result()


@pytest.mark.installed
def test_installed_package():
    installed_in = os.environ.get("VORLIX_INSTALLED_IN")
    if installed_in:
        # The package of the virtual environment, not of the source tree or the build.
        assert vorlix.__file__.startswith(os.path.join(installed_in, "lib"))
        assert os.path.isfile(os.path.join(os.path.dirname(vorlix.__file__), "py.typed"))
    version = subprocess.run([sys.executable, "-m", "vorlix", "--version"],
                             capture_output=True, text=True, check=True)
    assert version.stdout == f"vorlix {vorlix.__version__}\n"
    assert vorlix.__version__.count(".") == 2


@pytest.mark.installed
def test_examples_pass_strict_type_checks():
    pytest.importorskip("mypy")
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-incremental",
         "--config-file", str(SOURCE_DIR / "pyproject.toml"),
         str(SOURCE_DIR / "examples" / "python")],
        capture_output=True, text=True, cwd=os.environ.get("VORLIX_INSTALLED_IN"))
    assert result.returncode == 0, result.stdout + result.stderr

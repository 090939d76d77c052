"""The module as Python code uses it: file names, sources, arguments, exceptions, the
workbook and sheet objects, iterators, formulas, booleans written as text and durations.
One group per behaviour; api.xls is described in PythonFixtures.cpp."""

import datetime as dt
import errno
import io
import os
import pickle
import shutil
import time
import tracemalloc

import numpy as np
import pandas as pd
import pytest
from conftest import xlrd_read_excel

import vorlix


@pytest.fixture
def api(workbooks):
    return workbooks / "api.xls"


def test_file_names_that_are_not_utf8(workbooks, tmp_path, monkeypatch):
    name = "caf\udce9.xls"  # as os.listdir gives the bytes caf\xe9.xls
    shutil.copy(workbooks / "typed.xls", tmp_path / name)
    monkeypatch.chdir(tmp_path)
    assert os.listdir(tmp_path) == [name]
    for source in (name, os.fsencode(name), tmp_path / name):
        book = vorlix.open(source)
        assert book.sheet_names == ["Typed", "Second"]
    assert book.path == str(tmp_path / name)
    with pytest.raises(vorlix.NotFoundError) as raised:
        vorlix.open("missing\udce9.xls")
    assert raised.value.filename == "missing\udce9.xls"
    assert str(raised.value) == "File not found: missing\\xe9.xls"  # printable anywhere


def test_sources_bytes_and_file_objects(workbooks, tmp_path):
    path = workbooks / "typed.xls"
    data = path.read_bytes()
    expected = vorlix.read_excel(path, sheet_name=None)
    with open(path, "rb") as f:
        f.read(100)  # read from the start, wherever the file object stands
        sources = [data, bytearray(data), memoryview(data), io.BytesIO(data), f]
        for source in sources:
            frames = vorlix.read_excel(source, sheet_name=None)
            for key in expected:
                pd.testing.assert_frame_equal(frames[key], expected[key])
        book = vorlix.open(f)
        assert book.path is None and repr(book) == f"<vorlix.Workbook {str(path)!r}: 2 sheets>"
    with pytest.raises(TypeError, match="binary mode"):
        vorlix.open(io.StringIO("text"))
    # Other bytes are a file name; contents that are no workbook say what they are.
    with pytest.raises(vorlix.NotFoundError):
        vorlix.open(b"typed.xls")
    with pytest.raises(vorlix.UnsupportedFormatError) as raised:
        vorlix.open(io.BytesIO(b"just text"))
    assert raised.value.filename is None and "<bytes> is a text file" in str(raised.value)


@pytest.mark.parametrize("source", [None, 5, 2.5, object()])
def test_other_sources_are_type_errors(source):
    with pytest.raises(TypeError, match=type(source).__name__):
        vorlix.open(source)


def test_errors_carry_errno_code_and_file_name(workbooks, tmp_path):
    with pytest.raises(vorlix.NotFoundError) as raised:
        vorlix.open(tmp_path / "missing.xls")
    error = raised.value
    assert (error.errno, error.filename, error.code) == (
        errno.ENOENT, str(tmp_path / "missing.xls"), vorlix.Error.NOT_FOUND)
    assert error.strerror == os.strerror(errno.ENOENT)
    with pytest.raises(vorlix.NotFoundError) as raised:
        vorlix.open(tmp_path)
    assert raised.value.errno == errno.EISDIR
    # Errors travel between processes (Dask) whole.
    again = pickle.loads(pickle.dumps(error))
    assert (type(again), again.code, again.filename, str(again)) == (
        vorlix.NotFoundError, error.code, error.filename, str(error))


def test_argument_checks_follow_pandas(workbooks):
    path = workbooks / "typed.xls"
    with pytest.raises(TypeError, match="Passing a bool to header is invalid"):
        vorlix.read_excel(path, header=True)
    for nrows in (True, -1, 1.5, "2"):
        with pytest.raises(ValueError, match="'nrows' must be an integer >=0"):
            vorlix.read_excel(path, nrows=nrows)
    with pytest.raises(ValueError, match="header must be integer or list of integers"):
        vorlix.read_excel(path, header=[0, "a"])
    with pytest.raises(ValueError, match="negative integer"):
        vorlix.read_excel(path, header=-1)
    with pytest.raises(ValueError, match="header index 5 exceeds maximum index 3"):
        vorlix.read_excel(path, header=[1, 5])
    with pytest.raises(ValueError, match="Worksheet index -3 is invalid"):
        vorlix.read_excel(path, sheet_name=-3)
    assert vorlix.read_excel(path, sheet_name=-1).shape == (2, 3)
    assert vorlix.read_excel(path, nrows=2.0).shape == (2, 10)


def test_texts_pandas_reads_as_booleans(api):
    columns = [0, 1, 3]
    frame = vorlix.read_excel(api, usecols=columns)
    assert frame["flag"].dtype == bool
    assert frame["flag"].tolist() == [True, False, True, False]
    pd.testing.assert_frame_equal(frame, xlrd_read_excel(api, usecols=columns))


def test_formulas_are_complete_by_default(api):
    def formulas(book):
        return [c.formula for c in book["Data"].iter_cells() if c.col == 3]

    marker = vorlix.UNREADABLE_FORMULA
    assert formulas(vorlix.open(api)) == [None, "1+2", "2^3", "-5", marker]
    assert formulas(vorlix.open(api, all_formulas=False)) == [None, "1+2", marker, marker, marker]
    assert marker is not None and repr(marker) == "vorlix.UNREADABLE_FORMULA"
    assert pickle.loads(pickle.dumps(marker)) is marker


def test_iterators_yield_one_cell_or_row_at_a_time(workbooks):
    sheet = vorlix.open(workbooks / "typed.xls")["Typed"]
    assert list(sheet.iter_cells()) == sheet.cells()
    assert list(sheet.iter_rows()) == sheet.values()
    assert list(sheet.iter_rows(display=True)) == sheet.values(display=True)
    cell = next(sheet.iter_cells())
    assert isinstance(cell, vorlix.Cell) and cell._fields[3] == "value"
    assert (cell.row, cell.col, cell.kind, cell.value) == (0, 0, "text", "int")
    assert list(pd.DataFrame(sheet.cells()).columns) == list(vorlix.Cell._fields)

    big = vorlix.open(workbooks / "numbers.xls")[0]  # 524288 cells
    tracemalloc.start()
    count = sum(1 for _ in big.iter_cells())
    _, iterating = tracemalloc.get_traced_memory()
    tracemalloc.reset_peak()
    listed = len(big.cells())
    _, listing = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    assert count == listed == 65536 * 8
    assert iterating < 2_000_000 < 50_000_000 < listing, (iterating, listing)
    assert sum(1 for _ in big.iter_rows()) == 65536


def test_workbook_and_sheet_objects(api):
    with vorlix.open(api) as book:
        assert book.sheet_names == ["Data", "Hidden", "Secret"]
        assert len(book) == 3 and [s.name for s in book] == book.sheet_names
        assert book["Secret"].index == 2 and book[-1].name == "Secret" and book[0].name == "Data"
        assert repr(book) == f"<vorlix.Workbook {str(api)!r}: 3 sheets>"
        assert repr(book[1]) == "<vorlix.Sheet 'Hidden' (1)>"
        assert [s.visibility for s in book] == ["visible", "hidden", "very hidden"]
        assert [s.visible for s in book] == [True, False, False]
        assert book["Data"].merged == [(0, 4, 0, 5), (5, 0, 6, 1), (1, 4, 2, 4)]
        with pytest.raises(KeyError):
            book["Nope"]
        with pytest.raises(IndexError):
            book[3]
        sheet = book[0]
    assert book.closed and "(closed)" in repr(book)
    for use in (lambda: book[0], lambda: book.sheet_names, lambda: sheet.cells()):
        with pytest.raises(ValueError, match="closed workbook"):
            use()


def test_workbooks_and_sheets_pickle(api):
    for source in (api, api.read_bytes()):
        book = vorlix.open(source, all_formulas=False)
        again = pickle.loads(pickle.dumps(book))
        assert again.sheet_names == book.sheet_names and again.path == book.path
        assert again[0].cells() == book[0].cells()  # the options travel too
    sheet = pickle.loads(pickle.dumps(vorlix.open(api)["Hidden"]))
    assert (sheet.name, sheet.values()) == ("Hidden", [[0.0]])


def test_durations_are_timedeltas(api):
    sheet = vorlix.open(api)["Data"]
    cells = {(c.row, c.col): c for c in sheet.cells()}
    assert cells[(1, 2)].value == dt.timedelta(hours=36)  # not time(12, 0): no day is lost
    assert cells[(1, 2)].display == "36:00:00"
    assert sheet.values()[2][2] == dt.timedelta(hours=6)
    frame = vorlix.read_excel(api)
    assert frame["elapsed"].dtype == np.dtype("m8[ns]")
    assert frame["elapsed"].tolist()[:2] == [pd.Timedelta(hours=36), pd.Timedelta(hours=6)]
    assert frame["elapsed"].isna().tolist() == [False, False, True, True]


def test_sheet_names_come_from_the_globals_alone(api, workbooks):
    assert vorlix.sheet_names(api) == ["Data", "Hidden", "Secret"]
    assert vorlix.sheet_names(io.BytesIO(api.read_bytes())) == ["Data", "Hidden", "Secret"]
    protected = workbooks / "protected.xls"
    assert vorlix.sheet_names(protected, password="secret") == vorlix.open(
        protected, password="secret").sheet_names
    with pytest.raises(vorlix.PasswordError):
        vorlix.sheet_names(protected)
    # The 524288 cells of numbers.xls are not read (in processor time: the machine may be
    # busy with other work).
    big = workbooks / "numbers.xls"
    start = time.process_time()
    vorlix.open(big)
    reading = time.process_time() - start
    start = time.process_time()
    assert vorlix.sheet_names(big) == ["Numbers"]
    assert time.process_time() - start < reading / 5


def test_merged_areas_fill_and_hidden_parts_stay_out(api):
    plain = vorlix.read_excel(api)
    assert list(plain.columns) == ["flag", "flags", "elapsed", "formula", "merged"]
    filled = vorlix.read_excel(api, merged="fill")
    # E1:F1 names two columns; E2:E3 gives its 7 to E3; A6:B7 has no value to give.
    assert list(filled.columns[4:]) == ["merged", "merged.1"] and len(filled) == 4
    assert filled["merged"].tolist()[:2] == [7, 7] and filled["merged"][2:].isna().all()

    shown = vorlix.read_excel(api, hidden=False)
    assert list(shown.columns) == ["flag", "elapsed", "formula", "merged"]
    assert shown["formula"].tolist() == [3, -5, 1]  # not row 3's 2^3
    # Positions count what is left: the second column, the second row of data.
    assert list(vorlix.read_excel(api, hidden=False, usecols=[1]).columns) == ["elapsed"]
    assert vorlix.read_excel(api, hidden=False, skiprows=[1])["formula"].tolist() == [-5, 1]
    assert list(vorlix.read_excel(api, sheet_name=None, hidden=False)) == ["Data"]
    with pytest.raises(ValueError, match="Worksheet named 'Hidden' not found"):
        vorlix.read_excel(api, sheet_name="Hidden", hidden=False)
    with pytest.raises(ValueError, match="Worksheet index 1 is invalid"):
        vorlix.read_excel(api, sheet_name=1, hidden=False)

    # Through pandas' parser (any option that changes values) the selection is the same.
    both = vorlix.read_excel(api, hidden=False, merged="fill")
    pd.testing.assert_frame_equal(
        vorlix.read_excel(api, hidden=False, merged="fill", converters={}), both)
    with pytest.raises(ValueError, match="merged must be"):
        vorlix.read_excel(api, merged="first")


def test_books_read_for_frames_pickle_with_their_options(api):
    from vorlix import _open_for_frames

    book = _open_for_frames(api, None, None, hidden=False)
    assert book[0].cells()[2].formula is None  # results without formula texts
    again = pickle.loads(pickle.dumps(book))
    assert again[0]._hidden() == book[0]._hidden() == ([2], [1])
    assert again[0].cells() == book[0].cells()

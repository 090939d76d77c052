"""vorlix.open and vorlix.read_excel on the workbooks of python_fixtures: values, frames
against pandas' own xlrd reader, errors, display texts in other locales, threads."""

import datetime as dt
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pandas as pd
import pytest
from conftest import xlrd_read_excel

import vorlix


def test_open_gives_sheets_cells_and_values(workbooks):
    book = vorlix.open(workbooks / "typed.xls")
    assert [s.name for s in book.sheets] == ["Typed", "Second"]
    assert all(s.visible for s in book.sheets)
    typed, second = book.sheets
    assert typed.used_range == (0, 0, 3, 9)
    assert second.used_range == (1, 1, 2, 2)
    assert second.shape == (3, 3)
    assert book.date_mode == 1900

    cells = {(r, c): (kind, value, display, formula)
             for r, c, kind, value, display, formula in typed.cells()}
    assert cells[(1, 0)] == ("number", 1.0, "1", None)
    assert cells[(1, 2)] == ("date", dt.datetime(2009, 7, 6), "2009-07-06", None)
    assert cells[(2, 2)][1] == dt.datetime(2009, 7, 7, 12)
    assert cells[(1, 3)] == ("bool", True, "TRUE", None)
    assert cells[(2, 4)] == ("text", "NA", "NA", None)
    assert (2, 1) not in cells  # an empty cell is not listed

    assert second.values() == [[None, None, None], [None, "B2", None], [None, None, 2.25]]
    assert second.values(display=True)[2] == [None, None, "2.25"]


def test_read_excel_gives_pandas_dtypes(workbooks):
    frame = vorlix.read_excel(workbooks / "typed.xls")
    expected = pd.DataFrame({
        "int": np.array([1, 2, 3], dtype="int64"),
        "float": [1.5, np.nan, 3.0],
        "date": pd.to_datetime(["2009-07-06", "2009-07-07 12:00", None]),
        "bool": [True, False, True],
        "text": ["a", np.nan, "c"],
        "mixed": pd.Series([1, "x", dt.datetime(2009, 7, 6, 6)], dtype=object),
        "numtext": [1.0, 2.5, 3.0],
        "Unnamed: 7": np.array([7, 8, 9], dtype="int64"),
        "dup": [0.5, 1.0, 1.5],
        "dup.1": ["d1", "d2", "d3"],
    })
    pd.testing.assert_frame_equal(frame, expected)


@pytest.mark.parametrize("kwargs", [
    {},
    {"header": None},
    {"header": 1},
    {"header": 3},
    {"nrows": 0},
    {"nrows": 2},
    {"header": None, "nrows": 1},
    {"usecols": [0, 2, 5]},
    {"usecols": "A:C,H"},
    {"usecols": ["int", "text", "dup.1"]},
    {"usecols": lambda name: "t" in str(name)},
    {"header": None, "usecols": [1, 6]},
    {"sheet_name": "Second"},
    {"sheet_name": 1, "header": None},
    {"sheet_name": None},
    {"sheet_name": [1, "Typed"], "nrows": 1},
    {"sheet_name": -1},
    {"header": [0]},
    {"header": [0, 1]},
    {"header": (1, 2), "nrows": 1},
    {"sheet_name": "Second", "header": [1, 2]},
    {"skiprows": 1},
    {"skiprows": [0, 2], "header": None},
    {"skiprows": lambda row: row == 2, "usecols": "A,E"},
    {"skipfooter": 1},
    {"names": list("abcdefghij")},
    {"header": None, "names": list("abcdefghij"), "usecols": [0, 4]},
    {"names": ["x", "y"]},
    {"index_col": 0},
    {"index_col": [4, 1], "usecols": "A:F"},
    {"dtype": {"int": float, 4: str}},
    {"converters": {"int": str, "date": repr}},
    {"na_values": ["a", 1], "keep_default_na": False},
    {"na_values": {"text": ["c"]}},
    {"true_values": ["a"], "false_values": ["c"]},
    {"parse_dates": ["int"]},
    {"thousands": ","},
])
def test_read_excel_matches_pandas(workbooks, kwargs):
    path = workbooks / "typed.xls"
    ours = vorlix.read_excel(path, **kwargs)
    theirs = xlrd_read_excel(path, **kwargs)
    if isinstance(theirs, dict):
        assert list(ours) == list(theirs)
        for key in theirs:
            pd.testing.assert_frame_equal(ours[key], theirs[key])
    else:
        pd.testing.assert_frame_equal(ours, theirs)


@pytest.mark.parametrize("name", ["values.xls", "values1904.xls"])
def test_errors_times_and_durations_keep_their_values(workbooks, name):
    path = workbooks / name
    sheet = vorlix.open(path).sheets[0]
    cells = {(r, c): (kind, value, display) for r, c, kind, value, display, _ in sheet.cells()}
    assert cells[(0, 6)] == ("error", "#REF!", "#REF!")
    assert cells[(1, 0)] == ("error", "#DIV/0!", "#DIV/0!")
    assert cells[(2, 0)] == ("error", "#N/A", "#N/A")
    assert cells[(3, 0)] == ("error", "#N/A", "#N/A")  # a code the format does not define
    assert cells[(1, 1)] == ("date", dt.time(6, 34), "6:34:00")
    assert cells[(2, 1)] == ("date", dt.time(0, 0), "0:00:00")
    assert cells[(1, 2)] == ("date", dt.timedelta(hours=231, seconds=610), "231:10:10")
    assert cells[(1, 3)] == ("date", dt.datetime(1915, 1, 1), "1/1/1915")
    assert cells[(1, 4)] == ("text", "pf1", "COB on pf1")
    assert cells[(1, 5)] == ("number", -0.25, "-1/4")
    assert sheet.shape == (4, 7)
    # The frames pandas makes: errors missing, the header's error naming its column NaN;
    # but for the duration, which pandas takes for a date.
    columns = [0, 1, 3, 4, 5, 6]
    pd.testing.assert_frame_equal(vorlix.read_excel(path, usecols=columns),
                                  xlrd_read_excel(path, usecols=columns))


def test_read_excel_refuses_what_pandas_refuses(workbooks):
    path = workbooks / "typed.xls"
    with pytest.raises(ValueError, match="Worksheet named 'Nope' not found"):
        vorlix.read_excel(path, sheet_name="Nope")
    with pytest.raises(ValueError, match="Worksheet index 2 is invalid"):
        vorlix.read_excel(path, sheet_name=2)
    with pytest.raises(ValueError):
        vorlix.read_excel(path, values="shown")


def test_display_values_follow_the_locale(workbooks):
    path = workbooks / "typed.xls"
    shown = vorlix.read_excel(path, values="display")
    assert shown["float"].tolist()[::2] == ["1.5", "3"]
    assert shown["bool"].tolist() == ["TRUE", "FALSE", "TRUE"]
    assert pd.isna(shown["float"][1])
    assert shown["text"].tolist() == ["a", "NA", "c"]  # texts as shown, none taken as missing
    german = vorlix.read_excel(path, values="display", locale="de_DE.UTF-8")
    assert german["float"][0] == "1,5"
    # The settings of a locale are the read's own: the environment's are back after it.
    assert vorlix.read_excel(path, values="display")["float"][0] == "1.5"
    with pytest.raises(ValueError, match="Unknown locale"):
        vorlix.open(path, locale="xx_NOWHERE.UTF-8")


ERRORS = [
    ("protected.xls", {}, vorlix.PasswordError, "This File is Password Protected", 102),
    ("protected.xls", {"password": "wrong"}, vorlix.PasswordError, "password is invalid", 103),
    ("aes.xls", {}, vorlix.UnsupportedFormatError, "encryption type not supported", 105),
    ("aes.xls", {"password": "x"}, vorlix.UnsupportedFormatError,
     "encryption type not supported", 105),
    ("damaged.xls", {}, vorlix.DamagedFileError, "damaged", 106),
    ("other.xls", {}, vorlix.UnsupportedFormatError, "Only Excel 97 - 2003", 104),
    ("missing.xls", {}, vorlix.NotFoundError, "File not found", 101),
]


@pytest.mark.parametrize("name,kwargs,error,message,code", ERRORS)
def test_errors_map_to_their_classes(workbooks, name, kwargs, error, message, code):
    with pytest.raises(error) as raised:
        vorlix.open(workbooks / name, **kwargs)
    assert isinstance(raised.value, vorlix.Error)
    assert message in raised.value.message
    assert str(raised.value) == raised.value.message
    assert (raised.value.code, raised.value.filename) == (code, str(workbooks / name))
    with pytest.raises(error):
        vorlix.read_excel(workbooks / name, **kwargs)


def test_errors_carry_library_codes(tmp_path):
    not_a_workbook = tmp_path / "notes.xls"
    not_a_workbook.write_text("just text")
    with pytest.raises(vorlix.UnsupportedFormatError):
        vorlix.open(not_a_workbook)
    assert issubclass(vorlix.NotFoundError, FileNotFoundError)
    error = vorlix.DamagedFileError("Invalid data. Error in link table.", 14)
    assert (error.code, error.message) == (14, "Invalid data. Error in link table.")


def test_password_opens_protected_workbook(workbooks):
    book = vorlix.open(workbooks / "protected.xls", password="secret")
    assert book.sheets[0].values() == [[1.0]]


def test_reading_releases_the_gil(workbooks):
    path = workbooks / "numbers.xls"
    start = time.monotonic()
    vorlix.open(path)
    alone = time.monotonic() - start

    done = threading.Event()

    def read():
        for _ in range(3):
            vorlix.open(path)
        done.set()

    reader = threading.Thread(target=read)
    reader.start()
    gaps = []
    last = time.monotonic()
    while not done.is_set():
        now = time.monotonic()
        gaps.append(now - last)
        last = now
        time.sleep(0.001)
    reader.join()
    # Held through a read, the GIL would stop this loop for as long as the read takes.
    assert max(gaps) < max(0.6 * alone, 0.05), (alone, max(gaps))


def test_threads_read_alike_in_any_locale(workbooks):
    typed = workbooks / "typed.xls"
    numbers = workbooks / "numbers.xls"
    plain = vorlix.read_excel(typed, values="display")
    german = vorlix.read_excel(typed, values="display", locale="de_DE.UTF-8")
    big = vorlix.read_excel(numbers, header=None)

    def job(k):
        if k % 3 == 0:
            return "big", vorlix.read_excel(numbers, header=None)
        locale = "de_DE.UTF-8" if k % 3 == 1 else None
        return locale, vorlix.read_excel(typed, values="display", locale=locale)

    with ThreadPoolExecutor(max_workers=4) as pool:
        for kind, frame in pool.map(job, range(12)):
            expected = {"big": big, "de_DE.UTF-8": german, None: plain}[kind]
            pd.testing.assert_frame_equal(frame, expected)

"""vorlix.read_excel on the real-world workbooks of the shared corpus, against the frames
pandas.read_excel makes from what xlrd read (the corpus' xlrd oracle).

The expected frames are built the way pandas' xlrd reader builds them: the cells the oracle
lists (xlrd's cell types: texts, numbers, dates, booleans, errors), whole numbers as ints,
dates as datetimes (times of day on the first day of the date system), errors and empty
cells missing, through pandas' own table parser with the first row as the header.

One difference is deliberate and built into the expected frames: a number in an
elapsed-time format ("[h]:mm:ss") is a duration, a timedelta, where xlrd takes it for a date
and pandas makes a datetime of 1899 or 1900 (or a time of day) of it.

Known differences, each a class of its own:
- "refused": workbooks the library does not read and says why with a vorlix.Error
  (files with no BIFF record stream of a version the library reads).
- "chart sheets": the library lists chart and macro sheets, xlrd leaves them out; the
  sheets both list are compared, by name.
- "empty texts": neither does a text cell holding an empty text: rows and columns of
  nothing but empty texts at the end of a sheet are not part of its frame.
- "own reading": the library reads a record differently from xlrd where the file is
  damaged or unusual; these files are named in OWN_READING.
"""

import datetime as dt
import json
import math
import os
import re

import pandas as pd
import pytest
from conftest import corpus_dir, xlrd_read_excel
from pandas.io.parsers import TextParser

import vorlix

CORPUS = corpus_dir()
pytestmark = pytest.mark.skipif(CORPUS is None, reason="no corpus at ../shared/corpus")

# Workbooks whose cells the library reads otherwise than xlrd, by design; see "own reading".
OWN_READING = {
    # Cells in FORMULA records of an older format's record id (0x0206), which xlrd reads
    # and the library passes over.
    "poi__WrongFormulaRecordType.xls": "own reading",
}


def manifest_files():
    if CORPUS is None:
        return []
    with open(CORPUS / "manifest.json") as f:
        return json.load(f)["files"]


def oracle(name):
    path = CORPUS / "oracle" / "xlrd" / f"{name}.xlrd.json"
    if not path.is_file():
        return None
    with open(path) as f:
        return json.load(f)


# An elapsed-time section of a number format: [h], [mm], [ss], ...
ELAPSED = re.compile(r"\[(h+|m+|s+)\]", re.IGNORECASE)


def xlrd_cell(ctype, value, datemode, number_format):
    """A cell as pandas' xlrd reader hands it to its table parser, but for durations."""
    import datetime as dt

    from xlrd import xldate

    if ctype == 1:
        return value
    if ctype == 2:
        return int(value) if value == int(value) else value
    if ctype == 3 and ELAPSED.search(number_format):
        return dt.timedelta(days=value)
    if ctype == 3:
        try:
            when = xldate.xldate_as_datetime(value, datemode)
        except OverflowError:
            return value
        if when.timetuple()[0:3] == ((1904, 1, 1) if datemode else (1899, 12, 31)):
            return dt.time(when.hour, when.minute, when.second, when.microsecond)
        return when
    if ctype == 4:
        return bool(value)
    return math.nan


def expected_frame(sheet, datemode):
    cells = [c for c in sheet["cells"] if 1 <= c[2] <= 5]
    if not cells:
        return pd.DataFrame()
    rows = max(c[0] for c in cells) + 1
    cols = max(c[1] for c in cells) + 1
    data = [[""] * cols for _ in range(rows)]
    for r, c, ctype, value, number_format, _ in cells:
        data[r][c] = xlrd_cell(ctype, value, datemode, number_format)
    try:
        return TextParser(data, header=0, skip_blank_lines=False).read()
    except pd.errors.EmptyDataError:
        return pd.DataFrame()


def difference_class(sheet, ours, expected):
    """The known difference that explains a mismatch, or None."""
    if any(c[2] == 1 and c[3] == "" for c in sheet["cells"]) and ours.shape != expected.shape:
        return "empty texts"
    return None


def compare_workbook(entry):
    """Mismatches of one workbook: (sheet, class or None, detail) for each sheet."""
    name = entry["file"]
    expected_book = oracle(name)
    path = CORPUS / "files" / name
    if expected_book is None or not expected_book.get("ok", True) or "error" in expected_book \
            and expected_book["error"]:
        return None
    try:
        ours = vorlix.read_excel(path, sheet_name=None, password=expected_book["decrypted_with"])
    except vorlix.Error as error:
        refused = (
            entry.get("biff") not in (2, 3, 4, 5, 8)
        )
        return [("*", "refused" if refused else None, f"{type(error).__name__}: {error}")]
    problems = []
    if entry.get("container") == "raw_biff":
        # The one sheet of an Excel 2.x to 4.0 worksheet file: "Sheet1" here, "Sheet 1" in xlrd.
        ours = {("Sheet 1" if name == "Sheet1" else name): frame for name, frame in ours.items()}
    for sheet in expected_book["sheets"]:
        if sheet["name"] not in ours:
            problems.append((sheet["name"], None, "sheet missing"))
            continue
        expected = expected_frame(sheet, expected_book["datemode"])
        got = ours[sheet["name"]]
        try:
            pd.testing.assert_frame_equal(got, expected)
        except AssertionError as failure:
            detail = str(failure).splitlines()
            problems.append((sheet["name"], difference_class(sheet, got, expected),
                             " / ".join(detail[:6])))
    return problems


def test_corpus_frames_equal_xlrd_oracle():
    unexplained = []
    counts = {}
    compared = 0
    for entry in manifest_files():
        problems = compare_workbook(entry)
        if problems is None:
            continue
        compared += 1
        for sheet, kind, detail in problems:
            kind = kind or OWN_READING.get(entry["file"])
            counts[kind] = counts.get(kind, 0) + 1
            if kind is None:
                unexplained.append(f"{entry['file']} [{sheet}]: {detail}")
    print(f"compared {compared} workbooks; known differences: {counts}")
    assert compared > 200
    assert not unexplained, "\n".join(unexplained)


def test_corpus_formulas_none_only_without_a_formula():
    """The complete decoder (the default) reads every formula of the corpus; the common one
    marks those it cannot read, and None stays the mark of a cell without a formula."""
    totals = {True: [0, 0], False: [0, 0]}
    for entry in manifest_files():
        if entry.get("biff") != 8:
            continue
        found = {}
        for complete in (True, False):
            try:
                book = vorlix.open(CORPUS / "files" / entry["file"], password=entry.get("password"),
                                   all_formulas=complete)
            except vorlix.Error:
                break
            found[complete] = {(s.index, c.row, c.col): c.formula
                               for s in book for c in s.iter_cells() if c.formula is not None}
            totals[complete][0] += len(found[complete])
            totals[complete][1] += sum(f is vorlix.UNREADABLE_FORMULA
                                       for f in found[complete].values())
        if len(found) == 2:
            assert found[True].keys() == found[False].keys(), entry["file"]
    print(f"formula cells, unreadable: complete {totals[True]}, common {totals[False]}")
    assert totals[True][0] > 10000 and totals[True][1] == 0
    assert totals[False][1] > totals[True][0] // 10


# The parameters of pandas.read_excel, each compared on its own over the corpus: every value
# kind of each (header rows, names, index columns, column letters, names, positions and a
# callable, rows to skip as a count, a list and a callable, ...).
OPTIONS = [
    {"header": None},
    {"header": [0, 1]},
    {"header": None, "names": list("abcdef")},
    {"names": ["x", "y"]},
    {"index_col": 0},
    {"index_col": [0, 1], "header": [0, 1]},
    {"usecols": "A:C,F"},
    {"usecols": [0, 2]},
    {"usecols": lambda name: isinstance(name, str) and len(name) < 8},
    {"skiprows": 2},
    {"skiprows": [0, 2]},
    {"skiprows": lambda row: row % 3 == 1},
    {"nrows": 5, "header": 1},
    {"skipfooter": 2},
    {"dtype": {0: str, 2: object}},
    {"converters": {0: repr, 1: lambda v: type(v).__name__}},
    {"na_values": ["", "n/a", 0], "keep_default_na": False},
    {"na_values": {0: ["0", "Total"]}},
    {"true_values": ["yes", "Y", "x"], "false_values": ["no", "N"]},
    {"parse_dates": [0]},
    {"thousands": ","},
]


# The largest workbook the options are compared on, in cells.
MAX_CELLS = 5000


def xlrd_book(path):
    """The workbook as xlrd reads it for pandas, or None where it does not."""
    import xlrd

    try:
        return xlrd.open_workbook(str(path), on_demand=False)
    except Exception:  # noqa: BLE001 - any failure of the oracle leaves the workbook out
        return None


def has_durations(book, name):
    """Whether a sheet holds durations, where vorlix and pandas differ by design."""
    return any(isinstance(c.value, dt.timedelta) for c in book[name].iter_cells())


def outcome(read):
    try:
        return read(), None
    except Exception as error:  # noqa: BLE001 - the kind of failure is compared
        return None, type(error)


def compare_option(path, theirs_book, sheets, option):
    """The mismatches of one option on the sheets of a workbook: all sheets read at once,
    and one by one where either reader fails."""
    import warnings

    def both(keys):
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            theirs = outcome(lambda: xlrd_read_excel(theirs_book, sheet_name=keys, **option))
            ours = outcome(lambda: vorlix.read_excel(path, sheet_name=keys, **option))
        return ours, theirs

    (ours, our_error), (theirs, their_error) = both(sheets)
    if our_error or their_error:
        pairs = [(key, both(key)) for key in sheets]
    else:
        pairs = [(key, ((ours[key], None), (theirs[key], None))) for key in sheets]
    problems = []
    for key, ((ours, our_error), (theirs, their_error)) in pairs:
        where = f"{path.name} [{key}] {option}"
        if our_error or their_error:
            if our_error != their_error:
                problems.append(f"{where}: {our_error} where pandas gives {their_error}")
            continue
        try:
            pd.testing.assert_frame_equal(ours, theirs)
        except AssertionError as failure:
            problems.append(f"{where}: " + " / ".join(str(failure).splitlines()[:6]))
    return problems


def test_corpus_options_equal_pandas():
    """Each parameter of pandas.read_excel gives the frames pandas gives with xlrd, sheet by
    sheet, or fails as it does (ValueError for a header beyond the rows, ...), on the
    BIFF8 workbooks that both read with the same cells: the sheets of the known
    differences of the default frames (see above) and those with durations are left out,
    and so are the workbooks of more than MAX_CELLS cells."""
    compared = {i: 0 for i in range(len(OPTIONS))}
    unexplained = []
    for entry in manifest_files():
        name = entry["file"]
        expected_book = oracle(name)
        if entry.get("biff") != 8 or expected_book is None or name in OWN_READING:
            continue
        if entry.get("encryption") or expected_book.get("error"):
            continue
        # Each option reads the workbook again: the largest ones would take most of the time.
        if sum(len(sheet["cells"]) for sheet in expected_book["sheets"]) > MAX_CELLS:
            continue
        path = CORPUS / "files" / name
        try:
            ours_book = vorlix.open(path)
        except vorlix.Error:
            continue
        theirs_book = xlrd_book(path)
        if theirs_book is None:
            continue
        defaults = vorlix.read_excel(path, sheet_name=None)
        sheets = []
        for sheet in expected_book["sheets"]:
            key = sheet["name"]
            if key not in defaults or has_durations(ours_book, key):
                continue
            expected = expected_frame(sheet, expected_book["datemode"])
            if defaults[key].shape == expected.shape:
                sheets.append(key)
        for i, option in enumerate(OPTIONS):
            compared[i] += len(sheets)
            unexplained += compare_option(path, theirs_book, sheets, option)
    print(f"sheets compared per option: {compared}")
    assert min(compared.values()) > 300
    assert not unexplained, "\n".join(unexplained[:40])

"""Read Excel 97-2003 workbooks (.xls) into Python objects and pandas DataFrames.

``vorlix.open`` gives a workbook's sheets and cells with their values, display texts and
formulas; ``vorlix.read_excel`` gives DataFrames as ``pandas.read_excel`` makes them from
the same file. Both take a file's name (str, bytes or os.PathLike), a workbook's bytes or
a binary file object. Reading runs without the GIL: threads read different workbooks in
parallel. Failures raise ``vorlix.Error`` subclasses.
"""

import os as _os

from vorlix._errors import (
    DamagedFileError,
    Error,
    NotFoundError,
    PasswordError,
    UnsupportedFormatError,
)
from vorlix._types import UNREADABLE_FORMULA, Cell
from vorlix._version import __version__
from vorlix._vorlix import Sheet, Workbook
from vorlix._vorlix import open as _open

__all__ = [
    "open",
    "read_excel",
    "Workbook",
    "Sheet",
    "Cell",
    "UNREADABLE_FORMULA",
    "Error",
    "NotFoundError",
    "PasswordError",
    "UnsupportedFormatError",
    "DamagedFileError",
]

# A compound document, and so an Excel 97-2003 workbook, starts with these bytes.
_SIGNATURE = b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"
# No file name on Linux is this long.
_PATH_MAX = 4096


def _source(source):
    """(is_data, value, name) for what ``open`` was given: the file's name as bytes, or the
    workbook's contents and the name of the file object they came from (bytes or b"")."""
    if isinstance(source, (bytearray, memoryview)):
        return True, memoryview(source).cast("B"), b""
    if isinstance(source, bytes) and (source.startswith(_SIGNATURE) or len(source) >= _PATH_MAX):
        return True, source, b""
    if hasattr(source, "read"):
        if getattr(source, "seekable", lambda: False)():
            source.seek(0)
        data = source.read()
        if not isinstance(data, (bytes, bytearray, memoryview)):
            raise TypeError("A file object must be opened in binary mode ('rb')")
        name = getattr(source, "name", None)
        name = _os.fsencode(name) if isinstance(name, (str, bytes, _os.PathLike)) else b""
        return True, memoryview(data).cast("B"), name
    try:
        path = _os.fsencode(source)
    except TypeError:
        raise TypeError(
            "vorlix reads a file name (str, bytes, os.PathLike), a workbook's bytes or a "
            f"binary file object, not {type(source).__name__}"
        ) from None
    if b"\0" in path:
        raise ValueError("embedded null byte")
    return False, path, b""


def open(source, password=None, locale=None, all_formulas=True):  # noqa: A001
    """Read a workbook and return a ``Workbook``.

    ``source`` is a file's name (str, also with the surrogate escapes ``os.listdir`` gives
    names that are not UTF-8, bytes or any os.PathLike), a workbook's contents (bytes that
    start with the compound-document signature D0 CF 11 E0 A1 B1 1A E1 or are longer than
    any path, bytearray, memoryview), or a binary file object (``io.BytesIO``, an open
    file), read from its start. Other bytes are a file name.

    ``password`` opens a workbook encrypted with a user password. ``locale`` names an
    installed locale ("de_DE.UTF-8") whose regional settings the display texts and formula
    texts follow instead of the environment's; ValueError when it is not installed.
    ``all_formulas`` (default) decodes every formula token and function of the format;
    False keeps the common ones, and leaves the others ``UNREADABLE_FORMULA``.

    The workbook gives its sheets by position or name (``book[0]``, ``book["Q1"]``),
    ``sheet_names``, ``len(book)``; ``with vorlix.open(...) as book:`` closes it at the
    end. A sheet gives ``name``, ``visibility``, ``merged``, ``used_range``, ``cells()`` and
    ``iter_cells()`` as ``Cell(row, col, kind, value, display, formula)`` named tuples,
    ``values(display=False)`` and ``iter_rows(display=False)`` row by row. A workbook pickles
    as its source and options and is read again where it is unpickled.

    Raises NotFoundError, PasswordError, UnsupportedFormatError or DamagedFileError (all
    ``vorlix.Error``), TypeError for a source of another type.
    """
    is_data, value, name = _source(source)
    return _open(value, is_data, name, password, locale, all_formulas)


def _na_texts():
    """The texts pandas reads as missing values by default."""
    from pandas._libs.parsers import STR_NA_VALUES

    return sorted(STR_NA_VALUES)


def _pick_sheets(book, sheet_name):
    """The (key, sheet) pairs that ``sheet_name`` asks for, and whether a dict is wanted."""
    sheets = book.sheets
    by_name = {}
    for name, s in zip(book.sheet_names, sheets):
        by_name.setdefault(name, s)

    def one(key):
        if isinstance(key, str):
            if key not in by_name:
                raise ValueError(f"Worksheet named '{key}' not found")
            return by_name[key]
        # A negative position counts from the end, as with a list.
        if not -len(sheets) <= key < len(sheets):
            raise ValueError(
                f"Worksheet index {key} is invalid, {len(sheets)} worksheets found"
            )
        return sheets[key]

    if sheet_name is None:
        return list(zip(book.sheet_names, sheets)), True
    if isinstance(sheet_name, list):
        keys = list(dict.fromkeys(sheet_name))
        return [(k, one(k)) for k in keys], True
    return [(sheet_name, one(sheet_name))], False


def _is_integer(value):
    import numbers

    return isinstance(value, numbers.Integral) and not isinstance(value, bool)


def _checked_header(header):
    """``header`` checked as pandas checks it: None, a row, or a list of two rows or more
    (a list of one is that row)."""
    if header is None:
        return None
    if isinstance(header, bool):
        raise TypeError(
            "Passing a bool to header is invalid. Use header=None for no header or "
            "header=int or list-like of ints to specify the row(s) making up the column names"
        )
    if _is_integer(header):
        if header < 0:
            raise ValueError(
                "Passing negative integer to header is invalid. "
                "For no header, use header=None instead"
            )
        return int(header)
    if isinstance(header, (list, tuple, range)) or type(header).__name__ == "ndarray":
        rows = list(header)
        if not rows or not all(_is_integer(r) for r in rows):
            raise ValueError("header must be integer or list of integers")
        if any(r < 0 for r in rows):
            raise ValueError("cannot specify multi-index header with negative integers")
        return int(rows[0]) if len(rows) == 1 else [int(r) for r in rows]
    raise ValueError("header must be integer or list of integers")


def _checked_nrows(nrows):
    """``nrows`` as pandas takes it: None, or a count of rows (a float without fraction
    too); ValueError otherwise, also for a bool."""
    if nrows is None:
        return None
    message = "'nrows' must be an integer >=0"
    if isinstance(nrows, float):
        if not nrows.is_integer() or nrows < 0:
            raise ValueError(message)
        return int(nrows)
    if not _is_integer(nrows) or nrows < 0:
        raise ValueError(message)
    return int(nrows)


def _rows_needed(header, nrows):
    """The rows of the sheet a frame of `nrows` rows needs, or None for all."""
    if nrows is None:
        return None
    if header is None:
        return nrows
    if isinstance(header, int):
        return header + 1 + nrows
    return max(header) + 1 + nrows


def _general_frame(sheet, header, usecols, nrows, display):
    """The sheet's cells handed to pandas' own table parser, as pandas.read_excel does;
    the rows of a header of several rows are filled forward first (merged headings)."""
    import pandas as pd
    from pandas.io.parsers import TextParser

    rows = sheet.shape[0]
    needed = _rows_needed(header, nrows)
    data = sheet._table(0, rows if needed is None else min(rows, needed), display)
    if not data:
        return pd.DataFrame()
    if isinstance(header, list):
        from pandas.io.excel._util import fill_mi_header

        control_row = [True] * len(data[0])
        for row in header:
            if row > len(data) - 1:
                raise ValueError(
                    f"header index {row} exceeds maximum index {len(data) - 1} of data."
                )
            data[row], control_row = fill_mi_header(data[row], control_row)
    try:
        parser = TextParser(
            data,
            header=header,
            usecols=usecols,
            nrows=nrows,
            skip_blank_lines=False,
        )
        return parser.read(nrows=nrows)
    except pd.errors.EmptyDataError:
        return pd.DataFrame()


def _sheet_frame(sheet, header, usecols, nrows, display, na_texts):
    """One sheet's frame: typed columns from the module, the rest through pandas' parser;
    parameters beyond a header row and column positions go the general way."""
    import numpy as np
    import pandas as pd
    from pandas.io.parsers import TextParser

    rows, cols = sheet.shape
    if rows == 0:
        return pd.DataFrame()
    simple_usecols = usecols is None or (
        isinstance(usecols, list)
        and all(isinstance(c, int) and 0 <= c < cols for c in usecols)
    )
    simple_header = header is None or (isinstance(header, int) and header < rows)
    if not (simple_usecols and simple_header):
        return _general_frame(sheet, header, usecols, nrows, display)
    start = 0 if header is None else header + 1
    count = rows - start if nrows is None else min(nrows, rows - start)
    if count <= 0:
        return _general_frame(sheet, header, usecols, nrows, display)

    positions = list(range(cols)) if usecols is None else sorted(set(usecols))
    if header is None:
        names = positions
    else:
        # Names come from the whole header row ("Unnamed: N" counts every column), then
        # the chosen columns keep theirs.
        head = sheet._table(header, 1, display)[0]
        every = list(TextParser([head], header=0, skip_blank_lines=False).read().columns)
        names = [every[c] for c in positions]

    columns = sheet._columns(start, count, positions, display, [] if display else na_texts)
    arrays = [None] * len(columns)
    table = []
    for i, (tag, data) in enumerate(columns):
        if tag == "datetime":
            arrays[i] = np.asarray(data).view("M8[ns]")
        elif tag == "timedelta":
            arrays[i] = np.asarray(data).view("m8[ns]")
        elif tag == "table":
            table.append(i)
        else:
            arrays[i] = data
    if table:
        # Columns whose type pandas decides by its own rules (numbers or booleans written
        # as text, booleans among numbers, ...): its parser gets them as pandas.read_excel
        # hands them over.
        data = [list(r) for r in zip(*(columns[i][1] for i in table))]
        parsed = TextParser(data, header=None, skip_blank_lines=False).read()
        for k, i in enumerate(table):
            arrays[i] = parsed.iloc[:, k].to_numpy()
    frame = pd.DataFrame(dict(enumerate(arrays)), index=pd.RangeIndex(count))
    frame.columns = pd.Index(names) if header is not None else pd.Index(positions)
    if header is None and usecols is None:
        frame.columns = pd.RangeIndex(cols)
    return frame


def read_excel(
    path,
    sheet_name=0,
    header=0,
    usecols=None,
    nrows=None,
    values="raw",
    password=None,
    locale=None,
):
    """Read sheets of a workbook into pandas DataFrames.

    ``path`` is what ``open`` takes: a file's name, a workbook's bytes or a binary file
    object. The parameters ``sheet_name``, ``header``, ``usecols`` and ``nrows`` work and
    are checked as in ``pandas.read_excel``, and so are the frames: the same shape, column
    names ("Unnamed: N" for empty header cells; a MultiIndex for a header of several rows)
    and dtypes (int64 for whole numbers, float64 for other numbers and numbers with missing
    cells, datetime64[ns] for date-formatted cells, bool for booleans and for texts pandas
    reads as booleans, "TRUE" and "false" among them, object for texts and mixed columns;
    empty cells and errors NaN). One deliberate difference: a duration (a number under an
    elapsed-time format such as "[h]:mm:ss") gives a timedelta64[ns] column, where pandas
    makes a date of 1899 or 1900 of it. ``sheet_name`` takes a position (negative from the
    end), a name, a list of them or None for every sheet (a dict of frames then).

    ``values="display"`` gives every cell's display text instead (object columns, empty
    cells NaN), in the regional settings of ``locale`` when given. ``password`` opens a
    workbook encrypted with a user password. Raises the ``vorlix.Error`` subclasses as
    ``open`` does.
    """
    if values not in ("raw", "display"):
        raise ValueError("values must be 'raw' or 'display'")
    header = _checked_header(header)
    nrows = _checked_nrows(nrows)
    from pandas.io.excel._util import maybe_convert_usecols

    usecols = maybe_convert_usecols(usecols)
    # Only the sheets asked for are read, each when its frame is made.
    is_data, value, name = _source(path)
    book = _open(value, is_data, name, password, locale, False, lazy_sheets=True)
    picked, as_dict = _pick_sheets(book, sheet_name)
    display = values == "display"
    na_texts = _na_texts()
    frames = {
        key: _sheet_frame(sheet, header, usecols, nrows, display, na_texts)
        for key, sheet in picked
    }
    if as_dict:
        return frames
    return next(iter(frames.values()))

"""Read Excel 97-2003 workbooks (.xls) into Python objects and pandas DataFrames.

``vorlix.open`` gives a workbook's sheets and cells with their values, display texts and
formulas; ``vorlix.read_excel`` gives DataFrames as ``pandas.read_excel`` makes them from
the same file. Reading runs without the GIL: threads read different workbooks in
parallel. Failures raise ``vorlix.Error`` subclasses.
"""

from vorlix._errors import (
    DamagedFileError,
    Error,
    NotFoundError,
    PasswordError,
    UnsupportedFormatError,
)
from vorlix._vorlix import Sheet, Workbook
from vorlix._vorlix import open as _open

__all__ = [
    "open",
    "read_excel",
    "Workbook",
    "Sheet",
    "Error",
    "NotFoundError",
    "PasswordError",
    "UnsupportedFormatError",
    "DamagedFileError",
]


def open(path, password=None, locale=None, all_formulas=False):  # noqa: A001
    """Read the workbook at ``path`` and return a ``Workbook``.

    ``password`` opens a workbook encrypted with a user password. ``locale`` names an
    installed locale ("de_DE.UTF-8") whose regional settings the display texts and formula
    texts follow instead of the environment's; ValueError when it is not installed.
    ``all_formulas`` decodes every formula token and function of the format (array formulas
    and data tables too) instead of the common ones.

    The workbook's ``sheets`` each give ``name``, ``visible``, ``used_range``, ``cells()``
    as ``(row, col, kind, value, display, formula)`` tuples and ``values(display=False)``
    as a list of rows. Raises NotFoundError, PasswordError, UnsupportedFormatError or
    DamagedFileError (all ``vorlix.Error``).
    """
    return _open(str(path), password, locale, all_formulas)


def _na_texts():
    """The texts pandas reads as missing values by default."""
    from pandas._libs.parsers import STR_NA_VALUES

    return sorted(STR_NA_VALUES)


def _pick_sheets(book, sheet_name):
    """The (key, sheet) pairs that ``sheet_name`` asks for, and whether a dict is wanted."""
    sheets = book.sheets
    by_name = {}
    for s in sheets:
        by_name.setdefault(s.name, s)

    def one(key):
        if isinstance(key, str):
            if key not in by_name:
                raise ValueError(f"Worksheet named '{key}' not found")
            return by_name[key]
        if not 0 <= key < len(sheets):
            raise ValueError(
                f"Worksheet index {key} is invalid, {len(sheets)} worksheets found"
            )
        return sheets[key]

    if sheet_name is None:
        return [(s.name, s) for s in sheets], True
    if isinstance(sheet_name, list):
        keys = list(dict.fromkeys(sheet_name))
        return [(k, one(k)) for k in keys], True
    return [(sheet_name, one(sheet_name))], False


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
    """The sheet's cells handed to pandas' own table parser, as pandas.read_excel does."""
    import pandas as pd
    from pandas.io.parsers import TextParser

    rows = sheet.shape[0]
    needed = _rows_needed(header, nrows)
    data = sheet._table(0, rows if needed is None else min(rows, needed), display)
    if not data:
        return pd.DataFrame()
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
    simple_header = header is None or (isinstance(header, int) and 0 <= header < rows)
    start = 0 if header is None else header + 1
    count = rows - start if nrows is None else min(nrows, rows - start)
    if not (simple_usecols and simple_header) or count <= 0:
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
        elif tag == "table":
            table.append(i)
        else:
            arrays[i] = data
    if table:
        # Columns whose type pandas decides by its own rules (numbers written as text,
        # booleans among numbers, ...): its parser gets them as pandas.read_excel hands
        # them over.
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

    The parameters ``sheet_name``, ``header``, ``usecols`` and ``nrows`` work as in
    ``pandas.read_excel``, and so do the frames: the same shape, column names ("Unnamed: N"
    for empty header cells) and dtypes (int64 for whole numbers, float64 for other numbers
    and numbers with missing cells, datetime64[ns] for date-formatted cells, bool for
    booleans, object for texts and mixed columns; empty cells and errors NaN). ``sheet_name``
    takes a position, a name, a list of them or None for every sheet (a dict of frames
    then).

    ``values="display"`` gives every cell's display text instead (object columns, empty
    cells NaN), in the regional settings of ``locale`` when given. ``password`` opens a
    workbook encrypted with a user password. Raises the ``vorlix.Error`` subclasses as
    ``open`` does.
    """
    if values not in ("raw", "display"):
        raise ValueError("values must be 'raw' or 'display'")
    if nrows is not None and (not isinstance(nrows, int) or nrows < 0):
        raise ValueError("'nrows' must be an integer >=0")
    from pandas.io.excel._util import maybe_convert_usecols

    usecols = maybe_convert_usecols(usecols)
    book = open(path, password=password, locale=locale)
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

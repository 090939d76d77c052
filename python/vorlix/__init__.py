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
from vorlix._vorlix import sheet_names as _sheet_names

__all__ = [
    "open",
    "read_excel",
    "sheet_names",
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


class _Options:
    """The parameters of one read_excel call that shape each sheet's frame."""

    def __init__(self, **kwargs):
        self.__dict__.update(kwargs)

    def parser_options(self):
        """What pandas' table parser takes of them, as pandas.read_excel passes them on."""
        return {
            "names": self.names,
            "index_col": self.index_col,
            "usecols": self.usecols,
            "dtype": self.dtype,
            "converters": self.converters,
            "true_values": self.true_values,
            "false_values": self.false_values,
            "skiprows": self.skiprows,
            "na_values": self.na_values,
            "keep_default_na": self.keep_default_na,
            "parse_dates": self.parse_dates,
            "thousands": self.thousands,
            "skipfooter": self.skipfooter,
        }

    def only_select(self):
        """True when no parameter changes values: the frame's columns are then the typed
        columns the module builds, over the rows and columns the parameters select."""
        return (
            self.index_col is None
            and self.dtype is None
            and self.converters is None
            and self.true_values is None
            and self.false_values is None
            and self.na_values is None
            and self.keep_default_na is True
            and self.parse_dates is False
            and self.thousands is None
        )


def _skip_function(skiprows):
    """Whether a row of the sheet's table is skipped, as pandas' parser decides it."""
    if skiprows is None:
        return lambda row: False
    if callable(skiprows):
        return skiprows
    if _is_integer(skiprows):
        skiprows = range(skiprows)
    skipped = set(skiprows)
    return lambda row: row in skipped


def _header_names(head):
    """The column names of a header row as pandas' parser makes them before it picks
    columns: the cells' values, "Unnamed: N" for empty cells, "a.1" for a name that came
    before. They are what it hands a callable ``usecols``, which collects them here."""
    from pandas.io.parsers import TextParser

    names = []
    TextParser(head, header=0, skip_blank_lines=False,
               usecols=lambda name: names.append(name) or True).read()
    return names[: len(head[0])]


def _used_positions(usecols, names):
    """The positions (into `names`) of the columns `usecols` picks, in the sheet's order;
    None when pandas' parser should decide (and raise what it raises)."""
    if usecols is None:
        return list(range(len(names)))
    if callable(usecols):
        return [i for i, name in enumerate(names) if usecols(name)]
    picked = list(usecols)
    if all(_is_integer(c) for c in picked):
        if any(not 0 <= c < len(names) for c in picked):
            return None
        return sorted(set(int(c) for c in picked))
    if all(isinstance(c, str) for c in picked):
        if any(c not in names for c in picked):
            return None
        wanted = set(picked)
        return [i for i, name in enumerate(names) if name in wanted]
    return None


def _selected_frame(sheet, rows, cols, options):
    """The frame of a sheet when the parameters only select rows and columns: the names
    from the header row, the typed columns of the data rows from the module. None when the
    selection is one pandas' parser should make (an empty result, names that do not fit,
    a header beyond the rows, ...)."""
    import numpy as np
    import pandas as pd
    from pandas.io.parsers import TextParser

    header, nrows, skipfooter = options.header, options.nrows, options.skipfooter
    if isinstance(header, list) or not _is_integer(skipfooter) or skipfooter < 0:
        return None
    if skipfooter and nrows is not None:
        return None
    skip = _skip_function(options.skiprows)
    kept = [r for i, r in enumerate(rows) if not skip(i)]
    start = 0 if header is None else header + 1
    if start > len(kept):
        return None
    data_rows = kept[start:]
    if nrows is not None:
        data_rows = data_rows[:nrows]
    if skipfooter:
        data_rows = data_rows[: max(len(data_rows) - skipfooter, 0)]
    if not data_rows:
        return None
    if header is None:
        every = list(range(len(cols)))
    else:
        head = sheet._table([kept[header]], cols, options.display, options.merged)
        every = _header_names(head)
    positions = _used_positions(options.usecols, every)
    if not positions:
        return None
    names = options.names
    if names is not None:
        names = list(names)
        if options.usecols is not None or len(names) != len(cols) or len(set(names)) != len(names):
            return None
        every = names
    na_texts = [] if options.display or not options.keep_default_na else _na_texts()
    columns = sheet._columns(
        data_rows, [cols[p] for p in positions], options.display, na_texts, options.merged
    )
    count = len(data_rows)
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
    if names is not None:
        frame.columns = pd.Index(names)
    elif header is None:
        frame.columns = pd.RangeIndex(len(cols)) if options.usecols is None else pd.Index(positions)
    else:
        # The names of the columns picked make the index, as the parser makes it (ints
        # stay ints beside a missing name elsewhere in the row).
        frame.columns = TextParser(head, header=0, usecols=positions,
                                   skip_blank_lines=False).read().columns
    return frame


def _rows_needed(options, rows):
    """How many rows of the sheet's table pandas reads for `nrows` (its own count), or all."""
    nrows, header = options.nrows, options.header
    if nrows is None or options.skiprows is not None:
        return rows
    if header is None:
        needed = 1
    elif isinstance(header, int):
        needed = 1 + header
    else:
        needed = 1 + header[-1]
        if options.index_col is not None and len(header) > 1:
            needed += 1
    return min(rows, needed + nrows)


def _parsed_frame(sheet, rows, cols, options):
    """The sheet's table handed to pandas' own parser with every parameter, as
    pandas.read_excel hands the rows its readers give: the rows of a header of several rows
    filled forward (merged headings) and their index names taken out, the columns of an
    index of several columns filled down."""
    import pandas as pd
    from pandas.io.excel._util import fill_mi_header, pop_header_name
    from pandas.io.parsers import TextParser

    data = sheet._table(rows[: _rows_needed(options, len(rows))], cols, options.display,
                        options.merged)
    if not data:
        return pd.DataFrame()
    header, index_col, skiprows = options.header, options.index_col, options.skiprows
    header_names = None
    if isinstance(header, list):
        header_names = []
        control_row = [True] * len(data[0])
        for row in header:
            if _is_integer(skiprows):
                row += skiprows
            if row > len(data) - 1:
                raise ValueError(
                    f"header index {row} exceeds maximum index {len(data) - 1} of data."
                )
            data[row], control_row = fill_mi_header(data[row], control_row)
            if index_col is not None:
                header_name, _ = pop_header_name(data[row], index_col)
                header_names.append(header_name)
    # Under a header of several rows with an index, a row of nothing but the index's names
    # may follow.
    has_index_names = False
    if isinstance(header, list) and index_col is not None:
        index_cols = [index_col] if _is_integer(index_col) else index_col
        if len(header) < len(data):
            candidates = [
                x for i, x in enumerate(data[len(header)])
                if not control_row[i] and i not in index_cols
            ]
            has_index_names = all(x == "" or x is None for x in candidates)
    if index_col is not None and not _is_integer(index_col):
        if header is None:
            offset = 0
        elif isinstance(header, int):
            offset = 1 + header
        else:
            offset = 1 + max(header)
        if has_index_names:
            offset += 1
        if offset < len(data):
            for col in index_col:
                last = data[offset][col]
                for row in range(offset + 1, len(data)):
                    if data[row][col] == "" or data[row][col] is None:
                        data[row][col] = last
                    else:
                        last = data[row][col]
    kwargs = options.parser_options()
    if options.display:
        # Display texts stay texts, and only empty cells are missing.
        if kwargs["dtype"] is None:
            kwargs["dtype"] = object
        if kwargs["na_values"] is None and kwargs["keep_default_na"] is True:
            kwargs["na_values"], kwargs["keep_default_na"] = [""], False
    try:
        parser = TextParser(
            data,
            header=header,
            has_index_names=has_index_names,
            nrows=options.nrows,
            skip_blank_lines=False,
            **kwargs,
        )
        frame = parser.read(nrows=options.nrows)
    except pd.errors.EmptyDataError:
        return pd.DataFrame()
    if header_names:
        frame.columns = frame.columns.set_names(header_names)
    return frame


def _sheet_frame(sheet, options):
    """One sheet's frame. The parameters that only select rows and columns are applied
    before the module builds the typed columns; the others go to pandas' own parser with
    the cells of the sheet's table."""
    rows, cols = sheet._extent(options.merged)
    rows, cols = list(range(rows)), list(range(cols))
    if not options.hidden:
        hidden_rows, hidden_cols = (set(h) for h in sheet._hidden())
        rows = [r for r in rows if r not in hidden_rows]
        cols = [c for c in cols if c not in hidden_cols]
    if not rows or not cols:
        import pandas as pd

        return pd.DataFrame()
    if options.only_select():
        frame = _selected_frame(sheet, rows, cols, options)
        if frame is not None:
            return frame
    return _parsed_frame(sheet, rows, cols, options)


def _open_for_frames(path, password, locale, hidden):
    """The workbook read_excel reads: the formulas' results without their texts, the rows'
    and columns' records only when hidden ones are left out, each sheet when its frame is
    made (the sheets not asked for are never read)."""
    is_data, value, name = _source(path)
    return _open(value, is_data, name, password, locale, False, formulas=False,
                 layout=not hidden, lazy_sheets=True)


def _fetch_sheet(book, key, hidden):
    """The sheet `key` (a name, or a position among the sheets read_excel sees) of the
    workbook; ValueError as pandas raises it when there is none."""
    sheets = book.sheets if hidden else [s for s in book.sheets if s.visible]
    if isinstance(key, str):
        for s in sheets:
            if s.name == key:
                return s
        raise ValueError(f"Worksheet named '{key}' not found")
    # A negative position counts from the end, as with a list.
    if not -len(sheets) <= key < len(sheets):
        raise ValueError(f"Worksheet index {key} is invalid, {len(sheets)} worksheets found")
    return sheets[key]


def _sheet_keys(book, sheet_name, hidden):
    """The keys of the sheets ``sheet_name`` asks for, and whether a dict is wanted."""
    if sheet_name is None:
        sheets = book.sheets if hidden else [s for s in book.sheets if s.visible]
        return [s.name for s in sheets], True
    if isinstance(sheet_name, list):
        return list(dict.fromkeys(sheet_name)), True
    return [sheet_name], False


def sheet_names(source, password=None):
    """The names of a workbook's sheets, in their order (hidden ones and chart sheets too),
    read from the workbook's globals without its cells. ``source`` and ``password`` as
    ``open`` takes them; raises the ``vorlix.Error`` subclasses as ``open`` does."""
    is_data, value, name = _source(source)
    return _sheet_names(value, is_data, name, password)


def read_excel(
    path,
    sheet_name=0,
    header=0,
    usecols=None,
    nrows=None,
    values="raw",
    password=None,
    locale=None,
    *,
    names=None,
    index_col=None,
    dtype=None,
    converters=None,
    true_values=None,
    false_values=None,
    skiprows=None,
    na_values=None,
    keep_default_na=True,
    parse_dates=False,
    thousands=None,
    skipfooter=0,
    merged=None,
    hidden=True,
):
    """Read sheets of a workbook into pandas DataFrames.

    ``path`` is what ``open`` takes: a file's name, a workbook's bytes or a binary file
    object. The parameters ``sheet_name``, ``header``, ``names``, ``index_col``,
    ``usecols``, ``dtype``, ``converters``, ``true_values``, ``false_values``,
    ``skiprows``, ``nrows``, ``na_values``, ``keep_default_na``, ``parse_dates``,
    ``thousands`` and ``skipfooter`` work and are checked as in ``pandas.read_excel``, and
    so are the frames: the same shape, column names ("Unnamed: N" for empty header cells; a
    MultiIndex for a header of several rows) and dtypes (int64 for whole numbers, float64
    for other numbers and numbers with missing cells, datetime64[ns] for date-formatted
    cells, bool for booleans and for texts pandas reads as booleans, "TRUE" and "false"
    among them, object for texts and mixed columns, datetime.time for times of day; empty
    cells and errors NaN). One deliberate difference: a duration (a number under an
    elapsed-time format such as "[h]:mm:ss") gives a timedelta64[ns] column, where pandas
    makes a date of 1899 or 1900 of it. ``sheet_name`` takes a position (negative from the
    end), a name, a list of them or None for every sheet (a dict of frames then).

    ``merged="fill"`` gives every cell of a merged area the value of its top-left cell.
    ``hidden=False`` leaves hidden sheets, rows and columns out, as if they were not there
    (positions in ``sheet_name``, ``header``, ``usecols`` and ``skiprows`` count the others).
    ``values="display"`` gives every cell's display text instead (object columns, empty
    cells NaN), in the regional settings of ``locale`` when given. ``password`` opens a
    workbook encrypted with a user password. Raises the ``vorlix.Error`` subclasses as
    ``open`` does.
    """
    if values not in ("raw", "display"):
        raise ValueError("values must be 'raw' or 'display'")
    if merged not in (None, "fill"):
        raise ValueError("merged must be None or 'fill'")
    if not isinstance(hidden, bool):
        raise TypeError("hidden must be True or False")
    from pandas.io.excel._util import maybe_convert_usecols

    options = _Options(
        header=_checked_header(header),
        nrows=_checked_nrows(nrows),
        usecols=maybe_convert_usecols(usecols),
        names=names,
        index_col=index_col,
        dtype=dtype,
        converters=converters,
        true_values=true_values,
        false_values=false_values,
        skiprows=skiprows,
        na_values=na_values,
        keep_default_na=keep_default_na,
        parse_dates=parse_dates,
        thousands=thousands,
        skipfooter=skipfooter,
        display=values == "display",
        merged=merged == "fill",
        hidden=hidden,
    )
    book = _open_for_frames(path, password, locale, hidden)
    keys, as_dict = _sheet_keys(book, sheet_name, hidden)
    frames = {}
    for key in keys:
        frames[key] = _sheet_frame(_fetch_sheet(book, key, hidden), options)
    if as_dict:
        return frames
    return next(iter(frames.values()))

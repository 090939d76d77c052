"""The values vorlix hands out besides Python's own: the cells of a sheet and the marker of
a formula the decoder cannot read."""

from collections import namedtuple

Cell = namedtuple("Cell", ["row", "col", "kind", "value", "display", "formula"])
Cell.__module__ = "vorlix"
Cell.__doc__ = """A cell with a value, as Sheet.cells() and Sheet.iter_cells() give it.

``row`` and ``col`` count from 0; ``kind`` is "number", "date", "text", "bool" or "error";
``value`` the value (float, datetime.datetime, datetime.time for a time of day,
datetime.timedelta for a duration, str, bool, the error's text); ``display`` the text a
spreadsheet shows; ``formula`` the formula text without "=", None without a formula, or
UNREADABLE_FORMULA."""


class _UnreadableFormula:
    """The formula of a cell whose formula the decoder cannot read (its value is the result
    the workbook saved). One object, compared with ``is``; it survives pickling."""

    __slots__ = ()
    _instance = None

    def __new__(cls):
        if cls._instance is None:
            cls._instance = super().__new__(cls)
        return cls._instance

    def __repr__(self):
        return "vorlix.UNREADABLE_FORMULA"

    def __reduce__(self):
        return (_UnreadableFormula, ())


UNREADABLE_FORMULA = _UnreadableFormula()

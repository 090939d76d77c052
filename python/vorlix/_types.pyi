# Types of the cells vorlix hands out.
import datetime
from typing import NamedTuple, Union

class _UnreadableFormula: ...

UNREADABLE_FORMULA: _UnreadableFormula

class Cell(NamedTuple):
    row: int
    col: int
    kind: str  # "number", "date", "text", "bool" or "error"
    value: Union[float, str, bool, datetime.datetime, datetime.time, datetime.timedelta]
    display: str
    formula: Union[str, None, _UnreadableFormula]


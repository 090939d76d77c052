"""Types of the vorlix package (see its documentation in __init__.py)."""

from collections.abc import Callable, Hashable, Iterable, Mapping, Sequence
from os import PathLike
from typing import IO, Any, Literal, Optional, Union, overload

import pandas as pd

from vorlix._errors import (
    DamagedFileError as DamagedFileError,
    Error as Error,
    NotFoundError as NotFoundError,
    PasswordError as PasswordError,
    UnsupportedFormatError as UnsupportedFormatError,
)
from vorlix._types import UNREADABLE_FORMULA as UNREADABLE_FORMULA, Cell as Cell
from vorlix._vorlix import Sheet as Sheet, Workbook as Workbook

__version__: str

# What open, read_excel and sheet_names read: a file's name, a workbook's contents or a
# binary file object.
Source = Union[str, bytes, "PathLike[str]", "PathLike[bytes]", bytearray, memoryview, IO[bytes]]
SheetKey = Union[int, str]
Header = Union[int, Sequence[int], None]

def open(
    source: Source,
    password: Optional[str] = ...,
    locale: Optional[str] = ...,
    all_formulas: bool = ...,
) -> Workbook: ...
def sheet_names(source: Source, password: Optional[str] = ...) -> list[str]: ...
@overload
def read_excel(
    path: Source,
    sheet_name: SheetKey = ...,
    header: Header = ...,
    usecols: Union[int, str, Sequence[Union[int, str]], Callable[[Any], bool], None] = ...,
    nrows: Optional[int] = ...,
    values: Literal["raw", "display"] = ...,
    password: Optional[str] = ...,
    locale: Optional[str] = ...,
    *,
    names: Optional[Sequence[Hashable]] = ...,
    index_col: Union[int, str, Sequence[Union[int, str]], None] = ...,
    skiprows: Union[int, Sequence[int], Callable[[int], bool], None] = ...,
    skipfooter: int = ...,
    dtype: Any = ...,
    converters: Optional[Mapping[Union[int, str], Callable[[Any], Any]]] = ...,
    na_values: Union[str, Iterable[str], Mapping[Hashable, Iterable[str]], None] = ...,
    keep_default_na: bool = ...,
    true_values: Optional[Iterable[Hashable]] = ...,
    false_values: Optional[Iterable[Hashable]] = ...,
    parse_dates: Union[bool, Sequence[Any], Mapping[Hashable, Sequence[Any]]] = ...,
    thousands: Optional[str] = ...,
    merged: Optional[str] = ...,
    hidden: bool = ...,
) -> pd.DataFrame: ...
@overload
def read_excel(
    path: Source,
    sheet_name: Union[list[SheetKey], None],
    header: Header = ...,
    usecols: Union[int, str, Sequence[Union[int, str]], Callable[[Any], bool], None] = ...,
    nrows: Optional[int] = ...,
    values: Literal["raw", "display"] = ...,
    password: Optional[str] = ...,
    locale: Optional[str] = ...,
    *,
    names: Optional[Sequence[Hashable]] = ...,
    index_col: Union[int, str, Sequence[Union[int, str]], None] = ...,
    skiprows: Union[int, Sequence[int], Callable[[int], bool], None] = ...,
    skipfooter: int = ...,
    dtype: Any = ...,
    converters: Optional[Mapping[Union[int, str], Callable[[Any], Any]]] = ...,
    na_values: Union[str, Iterable[str], Mapping[Hashable, Iterable[str]], None] = ...,
    keep_default_na: bool = ...,
    true_values: Optional[Iterable[Hashable]] = ...,
    false_values: Optional[Iterable[Hashable]] = ...,
    parse_dates: Union[bool, Sequence[Any], Mapping[Hashable, Sequence[Any]]] = ...,
    thousands: Optional[str] = ...,
    merged: Optional[str] = ...,
    hidden: bool = ...,
) -> dict[SheetKey, pd.DataFrame]: ...

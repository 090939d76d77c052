"""Read many workbooks into one Dask DataFrame, one partition per workbook (or sheet).

``vorlix.dask.read_excel`` is ``vorlix.read_excel`` for a folder, a glob or a list of
workbooks: the computed frame equals ``pandas.concat`` of ``vorlix.read_excel`` of each
file, in sorted path order. The workbooks are read where the partitions are computed
(the workers of a ``distributed`` cluster, which need the files under the same paths and
this package installed).
"""

from __future__ import annotations

import glob
import os
from collections.abc import Sequence
from dataclasses import dataclass
from typing import TYPE_CHECKING, Any, Literal, Optional, Union

import dask
import dask.dataframe as dd
import pandas as pd
from dask.dataframe.core import finalize as _concat_partitions

import vorlix

if TYPE_CHECKING:
    from dask.delayed import Delayed

__all__ = ["read_excel", "skipped"]

Paths = Union[str, "os.PathLike[str]", Sequence[Union[str, "os.PathLike[str]"]]]


@dataclass(frozen=True)
class _Part:
    """A partition: the workbook, and the sheet to read (None: the `sheet_name` given; an
    exception: why its sheets could not be listed). Not a tuple, which a task graph could
    take for a key or a task."""

    path: str
    sheet: Any = None


def _workbook_paths(paths: Paths) -> list[str]:
    """The absolute paths `paths` names, sorted: a folder's .xls files (any letter case), the
    files a glob matches, a file, or a list of files."""
    if isinstance(paths, (str, os.PathLike)):
        path = os.fspath(paths)
        if os.path.isdir(path):
            found = [
                os.path.join(path, name)
                for name in os.listdir(path)
                if name.lower().endswith(".xls") and os.path.isfile(os.path.join(path, name))
            ]
        elif glob.has_magic(path):
            found = [p for p in glob.glob(path, recursive=True) if os.path.isfile(p)]
        else:
            found = [path]
    else:
        found = [os.fspath(p) for p in paths]
    if not found:
        raise FileNotFoundError(f"No workbooks found in {os.fspath(paths)!r}"
                                if isinstance(paths, (str, os.PathLike))
                                else "No workbooks given")
    return sorted(os.path.abspath(p) for p in found)


def _reason(error: BaseException) -> str:
    message = error.message if isinstance(error, vorlix.Error) else str(error)
    return f"{type(error).__name__}: {message}"


def _with_path(error: Exception, path: str) -> Exception:
    """`error` with the workbook's path in front of its message (once), of the same type
    where that type is made from a message."""
    text = error.message if isinstance(error, vorlix.Error) else str(error)
    if text.startswith(path):
        return error
    if isinstance(error, vorlix.Error):
        return type(error)(f"{path}: {text}", error.code, error.filename)
    try:
        return type(error)(f"{path}: {text}")
    except Exception:  # noqa: BLE001 - a type that is not made from a message
        return RuntimeError(f"{path}: {_reason(error)}")


def _sheet_names(path: str, kwargs: dict[str, Any]) -> list[str]:
    """The names of the workbook's sheets (read with the password among `kwargs`)."""
    password = kwargs.get("password")
    lister = getattr(vorlix, "sheet_names", None)
    if lister is not None and password is None:
        return list(lister(path))
    with vorlix.open(path, password=password, all_formulas=False) as book:
        return list(book.sheet_names)


def _union_columns(frame: pd.DataFrame, meta: pd.DataFrame) -> pd.DataFrame:
    """`frame` with the columns of `meta` first (those it lacks all missing values), then its
    own other columns: pandas.concat of such frames unions their columns by name as it
    does for the frames read."""
    if list(frame.columns) == list(meta.columns):
        return frame
    extra = [c for c in frame.columns if c not in meta.columns]
    return frame.reindex(columns=[*meta.columns, *extra])


class _ReadPart:
    """Reads one partition: a workbook, or a sheet of one. Picklable, for the workers."""

    def __init__(
        self,
        sheet_name: Any,
        kwargs: dict[str, Any],
        meta: pd.DataFrame,
        path_column: Optional[str],
        sheet_column: bool,
        skip: bool,
    ) -> None:
        self.sheet_name = sheet_name
        self.kwargs = kwargs
        self.meta = meta
        self.path_column = path_column
        self.sheet_column = sheet_column
        self.skip = skip

    def __call__(self, part: _Part) -> pd.DataFrame:
        if not isinstance(part, _Part):
            # distributed 2022.12 hands the inputs of dd.from_map to the tasks of a cluster
            # of threads (LocalCluster(processes=False)) still in its Serialize wrapper.
            part = getattr(part, "data", part)
        path, sheet = part.path, part.sheet
        try:
            if isinstance(sheet, BaseException):  # its sheets could not be listed
                raise sheet
            frame = vorlix.read_excel(
                path, sheet_name=self.sheet_name if sheet is None else sheet, **self.kwargs
            )
            if isinstance(frame, dict):
                raise TypeError("vorlix.dask.read_excel reads one sheet per partition")
        except Exception as error:
            if not self.skip:
                failure = _with_path(error, path)
                if failure is error:
                    raise
                raise failure from error
            empty = self.meta.iloc[:0].copy()
            empty.attrs = {"skipped": [(path, _reason(error))]}
            return empty
        if self.sheet_column:
            frame["sheet"] = sheet
        if self.path_column is not None:
            frame[self.path_column] = path
        frame = _union_columns(frame, self.meta)
        frame.attrs = {}
        return frame


def _finalize(results: Sequence[pd.DataFrame]) -> pd.DataFrame:
    """The computed frame: the partitions as Dask concatenates them, with the workbooks
    that were left out in attrs["skipped"]."""
    frame = _concat_partitions(results)
    frame.attrs = {**frame.attrs, "skipped": _skipped_of(results)}
    return frame


class ExcelFrame(dd.DataFrame):  # type: ignore[misc]
    """The Dask DataFrame of read_excel: computed, it lists the skipped workbooks in
    attrs["skipped"]."""

    def __dask_postcompute__(self) -> tuple[Any, tuple[()]]:
        return _finalize, ()


def read_excel(
    paths: Paths,
    sheet_name: Union[int, str, list[Union[int, str]], None] = 0,
    include_path_column: Union[bool, str] = False,
    *,
    on_error: Literal["raise", "skip"] = "raise",
    meta: Optional[pd.DataFrame] = None,
    **kwargs: Any,
) -> dd.DataFrame:
    """Read workbooks into a Dask DataFrame, one partition per workbook.

    ``paths`` is a folder (its .xls files, any letter case), a glob ("data/**/*.xls") or a
    list of files; the partitions follow the sorted absolute paths. ``sheet_name`` is a
    sheet's position or name as in ``vorlix.read_excel``; with None (every sheet) or a list
    there is one partition per workbook and sheet, and a column "sheet" holds the sheet's
    name (each such partition reads its workbook again; the sheets are listed when the
    frame is made). ``include_path_column`` adds a column "path" (or the name given) of the
    workbook's path. Other keyword arguments go to ``vorlix.read_excel`` (header, usecols,
    nrows, values, password, ...).

    ``meta``, the empty frame Dask describes the partitions with, is read from the first
    workbook unless given. A workbook lacking some of its columns has them missing (NaN);
    columns beyond them come after them, so the computed frame equals ``pandas.concat`` of
    the frames, whose columns are the union by name (give ``meta`` to have Dask know such
    columns before computing).

    A workbook that cannot be read fails the computation with an error of the same type
    whose message starts with the workbook's path. With ``on_error="skip"`` it is left out
    instead, and the frame this returns, once computed, lists it in
    ``attrs["skipped"]`` as (path, reason) pairs (``skipped(frame)`` gives that list
    when the frame is written rather than computed).
    """
    if on_error not in ("raise", "skip"):
        raise ValueError("on_error must be 'raise' or 'skip'")
    skip = on_error == "skip"
    files = _workbook_paths(paths)
    path_column = (
        include_path_column
        if isinstance(include_path_column, str)
        else ("path" if include_path_column else None)
    )
    per_sheet = sheet_name is None or isinstance(sheet_name, list)

    parts: list[_Part] = []
    for path in files:
        if not per_sheet:
            parts.append(_Part(path))
            continue
        try:
            names = _sheet_names(path, kwargs)
            keys = names if sheet_name is None else list(dict.fromkeys(sheet_name))
            for key in keys:
                if isinstance(key, int) and not -len(names) <= key < len(names):
                    raise ValueError(
                        f"Worksheet index {key} is invalid, {len(names)} worksheets found"
                    )
            sheets = [names[k] if isinstance(k, int) else k for k in keys]
        except Exception as error:
            if not skip:
                failure = _with_path(error, path)
                if failure is error:
                    raise
                raise failure from error
            parts.append(_Part(path, error))
            continue
        parts.extend(_Part(path, sheet) for sheet in sheets)

    if meta is None:
        meta = pd.DataFrame()
        probe = _ReadPart(sheet_name, kwargs, meta, path_column, per_sheet, skip)
        for part in parts:
            frame = probe(part)
            if not frame.attrs.get("skipped"):
                meta = frame.iloc[:0]
                break
    else:
        meta = meta.iloc[:0]
    meta = meta.copy()
    meta.attrs = {}
    read = _ReadPart(sheet_name, kwargs, meta, path_column, per_sheet, skip)
    frame = dd.from_map(
        read, parts, meta=meta, label="vorlix-read-excel", enforce_metadata=False
    )
    return ExcelFrame(frame.dask, frame._name, frame._meta, frame.divisions)


def _skipped_of(parts: Sequence[pd.DataFrame]) -> list[tuple[str, str]]:
    return [item for part in parts for item in part.attrs.get("skipped", [])]


def _flatten(lists: Sequence[list[tuple[str, str]]]) -> list[tuple[str, str]]:
    return [item for items in lists for item in items]


def skipped(frame: dd.DataFrame) -> Delayed:
    """A Delayed of the (path, reason) pairs of the workbooks ``read_excel(...,
    on_error="skip")`` left out of `frame`, to compute together with what writes the frame:
    ``dask.compute(frame.to_csv(..., compute=False), skipped(frame))`` reads each workbook
    once, and only the lists travel."""
    lists = [dask.delayed(_skipped_of)([part]) for part in frame.to_delayed()]
    return dask.delayed(_flatten)(lists)

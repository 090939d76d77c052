#!/usr/bin/env python3
"""Convert a folder of Excel 97-2003 workbooks into CSV or Parquet files with Dask.

The workbooks (INPUT: a folder, or a glob in quotes) are read with vorlix.dask.read_excel,
one partition per workbook (per sheet with --sheet all), and written by the workers to
OUTPUT/part-NNNNN.csv in the workbooks' sorted order: the columns of the first workbook's
header row, then any others of this one, and a column "path" of the workbook's path (names
that are not UTF-8 with \\xNN escapes), with --sheet all also "sheet" of the sheet's name.
With --format parquet (the default when pyarrow or fastparquet is installed) OUTPUT is a
Parquet dataset instead, which needs the same columns in every workbook. Workbooks that
cannot be read (password protected, damaged, not a workbook) are skipped, listed with
their reasons at the end and in OUTPUT/skipped.csv; their parts have no rows.

    batch_to_csv.py INPUT OUTPUT                    # a LocalCluster of 2 worker processes
    batch_to_csv.py INPUT OUTPUT --workers 4 --sheet all --values display
    batch_to_csv.py INPUT OUTPUT --scheduler tcp://host:8786

With --scheduler the workbooks are read and written by the workers of that scheduler; they
must see INPUT and OUTPUT under the same paths (a shared file system) and have the vorlix
package installed. Exit status 0 when the batch ran (skipped workbooks included), 2 on a
usage error.
"""

from __future__ import annotations

import argparse
import csv
import importlib.util
import logging
import os
import sys
import time
from typing import Any, Optional, Union

import dask
from dask.distributed import Client, LocalCluster

import vorlix.dask


def parquet_engine() -> bool:
    """Whether pandas can write Parquet here."""
    return any(importlib.util.find_spec(m) is not None for m in ("pyarrow", "fastparquet"))


def shown(text: str) -> str:
    """A file name or message as it can be printed and written to a UTF-8 file: bytes that
    are not UTF-8 (which os.listdir gives as surrogate escapes) as \\xNN."""
    return text.encode("utf-8", "surrogateescape").decode("utf-8", "backslashreplace")


def convert(
    source: str,
    output: str,
    fmt: str = "csv",
    sheet: Union[int, str, None] = 0,
    values: str = "raw",
    password: Optional[str] = None,
) -> tuple[int, list[tuple[str, str]]]:
    """Write the workbooks of `source` to `output` on the current Dask client; returns the
    number of parts and the skipped workbooks as (path, reason) pairs."""
    frame = vorlix.dask.read_excel(source, sheet_name=sheet, include_path_column=True,
                                   on_error="skip", values=values, password=password)
    # File names that are not UTF-8 cannot be written as they are.
    frame["path"] = frame["path"].map(shown, meta=("path", object))
    os.makedirs(output, exist_ok=True)
    write: Any
    if fmt == "parquet":
        frame.columns = [str(c) for c in frame.columns]
        write = frame.to_parquet(output, write_index=False, compute=False)
    else:
        write = frame.to_csv(os.path.join(output, "part-*.csv"), index=False,
                             name_function=lambda i: f"{i:05d}", compute=False)
    # One computation writes the parts and collects the skipped workbooks: each workbook
    # is read once, on a worker.
    _, skipped = dask.compute(write, vorlix.dask.skipped(frame))
    with open(os.path.join(output, "skipped.csv"), "w", newline="", encoding="utf-8") as out:
        writer = csv.writer(out)
        writer.writerow(["file", "reason"])
        writer.writerows((shown(path), shown(reason)) for path, reason in skipped)
    return int(frame.npartitions), list(skipped)


def main(argv: Optional[list[str]] = None) -> int:
    """Parse the command line, run the batch and print its summary."""
    parser = argparse.ArgumentParser(description=(__doc__ or "").splitlines()[0])
    parser.add_argument("input", help="folder of .xls workbooks, or a glob")
    parser.add_argument("output", help="folder for the files (made when missing)")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler")
    parser.add_argument("--workers", type=int, default=2,
                        help="worker processes of the local cluster (default 2)")
    parser.add_argument("--format", choices=("csv", "parquet"),
                        default="parquet" if parquet_engine() else "csv",
                        help="csv, or parquet (the default when its engine is installed)")
    parser.add_argument("--sheet", default="0",
                        help="the sheet's position or name, or 'all' (default 0)")
    parser.add_argument("--values", choices=("raw", "display"), default="raw",
                        help="the values as pandas types them (default) or display texts")
    parser.add_argument("--password", default=os.environ.get("VORLIX_PASSWORD"),
                        help="password of encrypted workbooks (default: $VORLIX_PASSWORD)")
    args = parser.parse_args(argv)
    if args.format == "parquet" and not parquet_engine():
        parser.error("--format parquet needs pyarrow or fastparquet")
    sheet: Union[int, str, None] = args.sheet
    if args.sheet == "all":
        sheet = None
    elif args.sheet.lstrip("-").isdigit():
        sheet = int(args.sheet)

    start = time.monotonic()
    cluster = None
    if args.scheduler:
        client = Client(args.scheduler)
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                               host="127.0.0.1", dashboard_address=None,
                               silence_logs=logging.ERROR)
        client = Client(cluster)
    try:
        parts, skipped = convert(args.input, args.output, args.format, sheet, args.values,
                                 args.password)
    except (OSError, ValueError) as error:
        print(f"batch_to_csv.py: {shown(str(error))}", file=sys.stderr)
        return 2
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    print(f"Wrote {parts} part(s) as {args.format} in {time.monotonic() - start:.1f} s; "
          f"skipped {len(skipped)} workbook(s).")
    for path, reason in skipped:
        print(f"  skipped {shown(os.path.basename(path))}: {shown(reason)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

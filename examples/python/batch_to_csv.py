#!/usr/bin/env python3
"""Convert a folder of Excel 97-2003 workbooks to CSV files with Dask.

Every workbook is one task: it is read with vorlix.read_excel and each of its sheets with
cells is written to OUTPUT/<workbook>_S<n>.csv (n counts the sheets from 1), its rows as
they are in the sheet from A1, without a header or an index: the cells' display texts (as a
spreadsheet shows them), or with --values raw the values as pandas types them. Workbooks that
cannot be read or written (password protected, damaged, not a workbook, a failure of the
task) are skipped; they are listed with their reasons at the end and in OUTPUT/skipped.csv,
names that are not UTF-8 with \\xNN escapes. The other workbooks go on converting.

    batch_to_csv.py INPUT OUTPUT                    # a LocalCluster of 2 worker processes
    batch_to_csv.py INPUT OUTPUT --workers 4
    batch_to_csv.py INPUT OUTPUT --scheduler tcp://host:8786

With --scheduler the tasks run on the workers of that scheduler; they must see INPUT and
OUTPUT under the same paths (a shared file system) and have the vorlix package installed.
Exit status 0 when the batch ran (skipped workbooks included), 2 on a usage error.
"""

import argparse
import csv
import os
import sys
import time


def workbook_files(folder):
    """The .xls files of a folder (any letter case), sorted by name."""
    return sorted(
        os.path.join(folder, name)
        for name in os.listdir(folder)
        if name.lower().endswith(".xls") and os.path.isfile(os.path.join(folder, name))
    )


def shown(text):
    """A file name or message as it can be printed and written to a UTF-8 file: bytes that
    are not UTF-8 (which os.listdir gives as surrogate escapes) as \\xNN."""
    return text.encode("utf-8", "surrogateescape").decode("utf-8", "backslashreplace")


def convert_workbook(path, output, password=None, values="display"):
    """Write each sheet with cells of the workbook at `path` to a CSV file in `output`.

    Runs on a worker. Returns (path, files written, None) or (path, [], reason) for a
    workbook that could not be read or written: a failure skips this workbook only.
    """
    import vorlix

    written = []
    try:
        frames = vorlix.read_excel(path, sheet_name=None, header=None, password=password,
                                   values=values)
        stem = os.path.splitext(os.path.basename(path))[0]
        for number, frame in enumerate(frames.values(), start=1):
            if frame.empty:
                continue
            target = os.path.join(output, f"{stem}_S{number}.csv")
            partial = target + ".part"
            frame.to_csv(partial, header=False, index=False)
            os.replace(partial, target)
            written.append(target)
    except Exception as error:  # noqa: BLE001 - any failure skips this workbook only
        for target in written:
            os.remove(target)
        message = error.message if isinstance(error, vorlix.Error) else str(error)
        return path, [], shown(f"{type(error).__name__}: {message}")
    return path, written, None


def run(input_dir, output_dir, scheduler=None, workers=2, password=None, values="display"):
    """Convert every workbook of `input_dir`; returns (converted, skipped) lists."""
    from dask.distributed import Client, LocalCluster

    os.makedirs(output_dir, exist_ok=True)
    files = workbook_files(input_dir)
    cluster = None
    if scheduler:
        client = Client(scheduler)
    else:
        cluster = LocalCluster(
            n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None
        )
        client = Client(cluster)
    try:
        futures = client.map(
            convert_workbook,
            files,
            output=os.path.abspath(output_dir),
            password=password,
            values=values,
            pure=False,
        )
        results = client.gather(futures)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    converted = [(p, written) for p, written, reason in results if reason is None]
    skipped = [(p, reason) for p, _, reason in results if reason is not None]
    with open(os.path.join(output_dir, "skipped.csv"), "w", newline="", encoding="utf-8") as out:
        writer = csv.writer(out)
        writer.writerow(["file", "reason"])
        writer.writerows((shown(os.path.basename(p)), reason) for p, reason in skipped)
    return converted, skipped


def main(argv=None):
    """Parse the command line, run the batch and print its summary."""
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("input", help="folder of .xls workbooks")
    parser.add_argument("output", help="folder for the CSV files (made when missing)")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler")
    parser.add_argument("--workers", type=int, default=2,
                        help="worker processes of the local cluster (default 2)")
    parser.add_argument("--password", default=os.environ.get("VORLIX_PASSWORD"),
                        help="password of encrypted workbooks (default: $VORLIX_PASSWORD)")
    parser.add_argument("--values", choices=("display", "raw"), default="display",
                        help="display texts (default) or raw values")
    args = parser.parse_args(argv)
    if not os.path.isdir(args.input):
        parser.error(f"not a folder: {args.input}")

    start = time.monotonic()
    converted, skipped = run(args.input, args.output, args.scheduler, args.workers,
                             args.password, args.values)
    files = sum(len(written) for _, written in converted)
    print(f"Converted {len(converted)} workbook(s) into {files} CSV file(s) "
          f"in {time.monotonic() - start:.1f} s; skipped {len(skipped)}.")
    for path, reason in skipped:
        print(f"  skipped {shown(os.path.basename(path))}: {reason}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

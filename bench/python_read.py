#!/usr/bin/env python3
"""Times vorlix.read_excel against xlrd's open_workbook plus building the same DataFrame
(pandas.read_excel with the xlrd engine, which does both), on one workbook in one run, and
checks that the two frames are equal. Also prints how long vorlix.open of the workbook
takes, and read_excel's time as a multiple of it.

Usage: python_read.py WORKBOOK [--runs N] [--target RATIO]   (best of N runs, default 3;
fails when vorlix is less than RATIO times faster, default 5)
"""

import argparse
import sys
import time

import pandas as pd
import pandas.compat._optional as optional

import vorlix


def best(runs, read):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        frame = read()
        times.append(time.perf_counter() - start)
    return min(times), frame


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("workbook")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--target", type=float, default=5.0)
    args = parser.parse_args()

    # Debian's pandas asks for xlrd 2, which only dropped other formats than .xls.
    optional.VERSIONS["xlrd"] = "1.2.0"
    opening, _ = best(args.runs, lambda: vorlix.open(args.workbook))
    ours, frame = best(args.runs, lambda: vorlix.read_excel(args.workbook))
    theirs, expected = best(args.runs, lambda: pd.read_excel(args.workbook, engine="xlrd"))
    pd.testing.assert_frame_equal(frame, expected)
    ratio = theirs / ours
    verdict = "met" if ratio >= args.target else "missed"
    rows, cols = frame.shape
    print(f"  read_excel of {rows + 1} x {cols} cells (best of {args.runs})")
    print(f"  vorlix.open              {opening:7.2f} s")
    print(f"  vorlix.read_excel        {ours:7.2f} s ({ours / opening:.2f} x open)")
    print(f"  xlrd + DataFrame         {theirs:7.2f} s")
    print(f"  speed-up                 {ratio:7.1f} x (target {args.target:g} x) {verdict}")
    return 0 if verdict == "met" else 1


if __name__ == "__main__":
    sys.exit(main())

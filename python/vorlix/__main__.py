"""``python -m vorlix --version`` prints the package's version."""

import argparse

from vorlix import __version__


def main() -> None:
    parser = argparse.ArgumentParser(
        prog="python -m vorlix",
        description="Read Excel 97-2003 workbooks (.xls) into Python objects and pandas "
        "DataFrames; import vorlix to use it.",
    )
    parser.add_argument("--version", action="version", version=f"vorlix {__version__}")
    parser.parse_args()
    parser.print_help()


main()

// Generates large workbooks for the benchmarks: one worksheet of mixed numbers, shared
// strings and dates, optionally with columns of formulas, written as a real spreadsheet
// program lays it out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tests/support/XlsBuilder.h"

namespace vorlix::bench {

struct SheetShape {
    std::uint32_t rows = 65536;
    std::uint32_t cols = 40;
    std::uint32_t distinctStrings = 5000;
    // The last columns of every row but the first hold formulas instead of values: all
    // but the last of them shared over blocks of rows (SHRFMLA), the last one a formula
    // of its own in every cell.
    std::uint32_t formulaColumns = 0;
    // Every number in a NUMBER record (no RK), as some writers lay sheets out.
    bool numberRecordsOnly = false;
};

// The workbook stream; encrypted with RC4 when a password is given ("" or the default
// password give a workbook that opens without one).
test::Bytes GenerateLargeSheetStream(const SheetShape& shape,
                                     const std::optional<std::u16string>& password = std::nullopt);

// How a spreadsheet program lays out the 65536 x 40 sheet of the writer-shaped workbooks.
enum class TWriter {
    // Formulas of their own in every formula cell (tokens with plain relative references),
    // as LibreOffice writes them.
    OwnFormulas,
    // Formulas shared over blocks of rows (SHRFMLA with relative offsets), as Excel
    // writes them.
    SharedFormulas,
};

// One sheet of 65536 x 40 cells as other programs write it: every tenth cell of a row a
// formula such as A2+C2 with its cached result, numbers as RK (runs of them in MULRK) or
// NUMBER where RK cannot hold them, texts from a shared-string table of 20,000 strings
// continued over CONTINUE records (strings cut across them, each continuation starting
// with its option byte) and followed by its EXTSST index, and dates.
test::Bytes GenerateWrittenSheetStream(TWriter writer, std::uint32_t rows = 65536,
                                       std::uint32_t cols = 40);

// A workbook of `sheets` worksheets that hold a handful of cells each, or, with `rows`,
// that many rows of 10 cells (numbers and shared strings) each.
test::Bytes GenerateManySheetsStream(int sheets, std::uint32_t rows = 0);

}  // namespace vorlix::bench

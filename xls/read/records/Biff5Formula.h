// Formulas of Excel 5.0 and 95 workbooks (BIFF5, which BIFF7 shares) rewritten as BIFF8
// tokens, so that one decoder reads both. The token ids are the same; operands differ:
//
// - cell references keep the relative flags in bits 15 (row) and 14 (column) of a row
//   field of 14 bits and have an 8-bit column (3 bytes; areas 6), where BIFF8 has a 16-bit
//   row and the flags above a 16-bit column field (4 and 8 bytes). The row offsets of
//   relative references (in shared formulas) are 14-bit signed numbers;
// - 3-D references carry a signed EXTERNSHEET index (negative: the workbook itself), 8
//   unused bytes and the first and last sheet before the cell (17 bytes; areas 20), where
//   BIFF8 has an index into the EXTERNSHEET table of (document, first sheet, last sheet);
// - a defined name takes 14 bytes (its index and 12 unused), BIFF8's 4;
// - string constants have an 8-bit count and 8-bit characters in the workbook's code page,
//   without BIFF8's option byte, as do the strings of array constants (BIFF8: 16-bit count);
// - the areas of memory areas have 8-bit columns.
//
// External names (tNameX) and references into other workbooks are not rewritten: such a
// formula is not translated.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vorlix::records {

struct TFormula5Context {
    // The code page of 8-bit texts.
    std::uint32_t CodePage = 1252;
    // The BIFF8 EXTERNSHEET index for a BIFF5 3-D reference's EXTERNSHEET index and sheet
    // range; nullopt when the reference has none (another workbook, a deleted sheet).
    std::function<std::optional<std::uint16_t>(std::int16_t externSheet, std::uint16_t first,
                                               std::uint16_t last)>
        SheetRange;
};

// Rewrites the tokens and the data after them (array constants, memory areas). False
// when a token is unknown, cannot be rewritten or runs past the end; the outputs are then
// unspecified.
bool TranslateFormula5(std::string_view tokens, std::string_view extra,
                       const TFormula5Context& context, std::string& tokensOut,
                       std::string& extraOut);

}  // namespace vorlix::records

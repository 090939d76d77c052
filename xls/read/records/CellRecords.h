// Cell records decoded from their bodies: numbers, RK numbers, texts, booleans and errors,
// blanks, formulas. Each decoder reads the fields in order from a cursor over the body; a
// field a short body lacks reads as 0 (a text as empty) and the cursor says so.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/ByteCursor.h"

namespace vorlix::records {

using platform::TByteCursor;

// Row, column and XF: the first six bytes of every cell record.
struct TCellAddress {
    std::uint16_t Row = 0;
    std::uint16_t Col = 0;
    std::uint16_t XF = 0;
};
TCellAddress DecodeCellAddress(TByteCursor& body);

// NUMBER: the address and a double.
struct TNumberRecord {
    TCellAddress Cell;
    double Value = 0;
};
TNumberRecord DecodeNumber(TByteCursor& body);

// An RK number: bit 0 says "divide by 100", bit 1 says the upper 30 bits are a signed
// integer; otherwise they are the upper 30 bits of a double whose lower 34 bits are zero.
double RkValue(std::uint32_t rk);

// RK: the address and an RK number.
TNumberRecord DecodeRk(TByteCursor& body);

// MULRK: a row, its first column, XF and RK pairs for consecutive columns, the last column.
// `out` is filled (its storage reused from call to call).
struct TMulRkRecord {
    std::uint16_t Row = 0;
    std::uint16_t FirstCol = 0;
    std::uint16_t LastCol = 0;  // as stored (the pairs say how many columns there are)
    struct TEntry {
        std::uint16_t XF;
        double Value;
    };
    std::vector<TEntry> Cells;
};
void DecodeMulRk(TByteCursor& body, TMulRkRecord& out);

// MULBLANK: a row, its first column, an XF per column, the last column.
struct TMulBlankRecord {
    std::uint16_t Row = 0;
    std::uint16_t FirstCol = 0;
    std::uint16_t LastCol = 0;  // as stored (the XFs say how many columns there are)
    std::vector<std::uint16_t> XFs;
};
void DecodeMulBlank(TByteCursor& body, TMulBlankRecord& out);

// LABEL: the address and a text with a 16-bit count, kept as its stored bytes (8-bit
// characters or UTF-16LE). Characters that run past the end leave the bytes empty.
struct TLabelRecord {
    TCellAddress Cell;
    bool Wide = false;
    std::string_view Chars;  // views the body
};
TLabelRecord DecodeLabel(TByteCursor& body);

// LABELSST: the address and an index into the shared strings.
struct TLabelSstRecord {
    TCellAddress Cell;
    std::uint32_t Index = 0;
};
TLabelSstRecord DecodeLabelSst(TByteCursor& body);

// BOOLERR: the address, the value byte and the error flag.
struct TBoolErrRecord {
    TCellAddress Cell;
    std::uint8_t Value = 0;
    bool Error = false;  // the value byte is an error code
};
TBoolErrRecord DecodeBoolErr(TByteCursor& body);

// FORMULA: the address, the cached result (8 bytes: a double, or a typed result whose
// last two bytes are 0xFFFF), the option flags as stored, 4 unused bytes, then the token
// count, the tokens and the data that follows them (the values of array constants).
struct TFormulaRecord {
    TCellAddress Cell;
    std::array<std::uint8_t, 8> Result{};  // bytes the body lacks are zero
    std::array<std::uint8_t, 2> Options{};
    std::string_view Tokens;  // views the body; the tokens that are there
    std::string_view Extra;   // views the body; everything after the tokens
    // The kinds of typed result, in Result[0] when Result[6..7] are 0xFF 0xFF.
    static constexpr std::uint8_t kResultString = 0;
    static constexpr std::uint8_t kResultBoolean = 1;
    static constexpr std::uint8_t kResultError = 2;  // the error code in Result[2]
    bool IsNumber() const { return Result[6] != 0xFF || Result[7] != 0xFF; }
    double Number() const;
};
TFormulaRecord DecodeFormula(TByteCursor& body);

}  // namespace vorlix::records

// Records of Excel 5.0 and 95 workbooks (BIFF5, which BIFF7 shares) whose layout differs
// from BIFF8, decoded into the BIFF8 records' structures so that the handlers treat both
// alike. Their texts are 8-bit: a character count (8 or 16 bits) and the bytes, without
// an option byte, in the workbook's code page (the CODEPAGE record); they come out here
// as UTF-16.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ByteCursor.h"
#include "xls/read/records/CellRecords.h"
#include "xls/read/records/GlobalsRecords.h"

namespace vorlix::records {

using platform::TByteCursor;

// The BOF version field of BIFF5/7 substreams (BIFF8 writes 0x0600).
inline constexpr std::uint16_t kBiff5Version = 0x0500;

// The code page of a workbook's 8-bit texts from its CODEPAGE record's value. Some writers
// store Mac Roman as 32768 and Windows Latin 1 as 32769; 21010 is UTF-16 written by one
// writer instead of 1200. UTF-16 says nothing of 8-bit texts, which then read as Windows
// Latin 1, like those of a workbook without the record.
inline constexpr std::uint32_t kDefaultTextCodePage = 1252;
std::uint32_t TextCodePage(std::uint16_t codePageRecord);

// `count` 8-bit characters in `codePage`; empty, at the end and short when they run past
// the end.
std::u16string Chars8In(TByteCursor& body, std::size_t count, std::uint32_t codePage);
// A text with an 8-bit (short) or 16-bit (long) count.
std::u16string ShortString8(TByteCursor& body, std::uint32_t codePage);
std::u16string LongString8(TByteCursor& body, std::uint32_t codePage);

// BOUNDSHEET: position, options, then the name with an 8-bit count.
TBoundSheetRecord DecodeBoundSheet5(TByteCursor& body, std::uint32_t codePage);
// FORMAT: the format index, then the text with an 8-bit count.
TFormatRecord DecodeFormat5(TByteCursor& body, std::uint32_t codePage);
// FONT: BIFF8's fields, the name with an 8-bit count.
TFontRecord DecodeFont5(TByteCursor& body, std::uint32_t codePage);
// XF (16 bytes): font and format index; protection, style flag and parent (16 bits);
// alignment (horizontal, wrap, vertical); orientation (2 bits, then the attributes used);
// fill colours, pattern, bottom border style and colour (32 bits); top, left and right
// border styles and colours (32 bits). The orientation becomes BIFF8's rotation (stacked
// 255, upwards 90, downwards 180).
TXfRecord DecodeXf5(TByteCursor& body);

// LABEL: the address, then the text with a 16-bit count, decoded.
struct TLabel5Record {
    TCellAddress Cell;
    std::u16string Text;
};
TLabel5Record DecodeLabel5(TByteCursor& body, std::uint32_t codePage);

// HEADER and FOOTER: the text with an 8-bit count (an empty body: no text).
std::u16string DecodeHeaderFooter5(TByteCursor& body, std::uint32_t codePage);

// NAME as a BIFF8 body: the fixed fields as they are (BIFF5's EXTERNSHEET index takes
// BIFF8's reserved field), an option byte before the name, the name as 8-bit characters
// when they all fit (UTF-16 otherwise) and the definition as given; the strings after it
// (menu text, description, help, status bar) are left out. A built-in name's one
// character is its code and is copied as it is. Empty when the fields run past the body.
struct TName5Record {
    std::string Fixed;         // the 14 bytes before the name
    std::u16string Name;       // decoded; a built-in name's code as one character
    std::string_view Formula;  // views the body
};
TName5Record DecodeName5(TByteCursor& body, std::uint32_t codePage);
// The BIFF8 NAME body of a decoded BIFF5 one with the (translated) definition.
std::string Name8Body(const TName5Record& name, std::string_view formula);

// EXTERNSHEET: one entry, an 8-bit count and the encoded document and sheet name. The
// first character says what follows: 0x01 another document (an encoded path), 0x02 or
// 0x03 a sheet of the workbook itself (its name follows), 0x04 the workbook itself (no
// sheet), 0x3A an add-in.
struct TExternSheet5Record {
    std::uint8_t Kind = 0;
    std::u16string Text;  // after the kind
    static constexpr std::uint8_t kOtherDocument = 0x01;
    static constexpr std::uint8_t kOwnSheet = 0x02;
    static constexpr std::uint8_t kOwnSheetByName = 0x03;
    static constexpr std::uint8_t kOwnWorkbook = 0x04;
};
TExternSheet5Record DecodeExternSheet5(TByteCursor& body, std::uint32_t codePage);

}  // namespace vorlix::records

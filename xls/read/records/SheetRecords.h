// Records that describe a sheet rather than its cells, decoded from their bodies: rows,
// columns and merged areas; page setup, margins, headers and footers; window settings and
// protection. A field a short body lacks reads as 0 and the cursor says so.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ByteCursor.h"

namespace vorlix::records {

using platform::TByteCursor;

// ROW: the row number, its first and last column, height in twips, 4 unused bytes,
// options and XF.
struct TRowRecord {
    std::uint16_t Row = 0;
    std::uint16_t HeightTwips = 0;
    std::uint16_t Options = 0;
    std::uint16_t XF = 0;
    static constexpr std::uint16_t kOutlineMask = 0x07;
    static constexpr std::uint16_t kHidden = 0x20;
    static constexpr std::uint16_t kHeightSet = 0x40;
    static constexpr std::uint16_t kFormatted = 0x80;
};
TRowRecord DecodeRow(TByteCursor& body);

// DEFAULTROWHEIGHT: options, then the height in twips of the rows that no ROW record
// describes. With kHidden those rows are hidden (the height is the one they show when
// made visible).
struct TDefaultRowHeightRecord {
    std::uint16_t Options = 0;
    std::uint16_t HeightTwips = 0;
    static constexpr std::uint16_t kHidden = 0x02;
};
TDefaultRowHeightRecord DecodeDefaultRowHeight(TByteCursor& body);

// COLINFO: a run of columns with their width (1/256 of a character), XF and options.
struct TColInfoRecord {
    std::uint16_t First = 0;
    std::uint16_t Last = 0;
    std::uint16_t Width = 0;
    std::uint16_t XF = 0;
    std::uint16_t Options = 0;
    static constexpr std::uint16_t kHidden = 0x01;
    static constexpr int kOutlineShift = 8;
};
TColInfoRecord DecodeColInfo(TByteCursor& body);

// A rectangle of cells as stored: first and last row, first and last column.
struct TCellArea {
    std::uint16_t FirstRow = 0;
    std::uint16_t LastRow = 0;
    std::uint16_t FirstCol = 0;
    std::uint16_t LastCol = 0;
};

// MERGECELLS: an area count (not trusted: the body says how many there are), the areas.
std::vector<TCellArea> DecodeMergeCells(TByteCursor& body);

// HEADER and FOOTER: one text with a 16-bit count; an empty body is no text at all.
std::optional<std::u16string> DecodeHeaderFooter(TByteCursor& body);

// SETUP: paper size, scale, first page number, fit to width and height, options, print
// and vertical resolution, header and footer margins (inches).
struct TSetupRecord {
    std::uint16_t PaperSize = 0;
    std::int16_t Scale = 0;
    std::int16_t FirstPageNumber = 0;
    std::int16_t FitWidth = 0;
    std::int16_t FitHeight = 0;
    std::uint16_t Options = 0;
    double HeaderMargin = 0;
    double FooterMargin = 0;
    static constexpr std::uint16_t kLeftToRight = 0x01;
    static constexpr std::uint16_t kPortrait = 0x02;
    static constexpr std::uint16_t kBlackAndWhite = 0x08;
    static constexpr std::uint16_t kDraft = 0x10;
    static constexpr std::uint16_t kUsePageNumber = 0x80;
};
TSetupRecord DecodeSetup(TByteCursor& body);

// LEFTMARGIN, RIGHTMARGIN, TOPMARGIN, BOTTOMMARGIN: inches.
double DecodeMargin(TByteCursor& body);
// PRINTROWCOL, PRINTGRID, HCENTER, VCENTER: on when the word is 1.
bool DecodePrintFlag(TByteCursor& body);

// WSBOOL: the sheet's option word.
struct TWsBoolRecord {
    static constexpr std::uint16_t kRowsBelow = 0x40;
    static constexpr std::uint16_t kColumnsRight = 0x80;
    static constexpr std::uint16_t kFitToPage = 0x100;
};
// WINDOW2: the window's option word (the fields after it are not used).
struct TWindow2Record {
    static constexpr std::uint16_t kGridLines = 0x02;
    static constexpr std::uint16_t kHeaders = 0x04;
    static constexpr std::uint16_t kZeros = 0x10;
    static constexpr std::uint16_t kRightToLeft = 0x40;
    static constexpr std::uint16_t kPageBreakPreview = 0x800;
};
// The first word of a body: the option words of WSBOOL and WINDOW2, the hash of PASSWORD.
std::uint16_t DecodeWord(TByteCursor& body);

// PANE: the horizontal and vertical split positions.
struct TPaneRecord {
    std::uint16_t Horizontal = 0;
    std::uint16_t Vertical = 0;
};
TPaneRecord DecodePane(TByteCursor& body);

// SCL: the zoom as a fraction.
struct TSclRecord {
    std::uint16_t Numerator = 0;
    std::uint16_t Denominator = 0;
};
TSclRecord DecodeScl(TByteCursor& body);

// FEATHDR of sheet protection: the protection options, when the body holds them.
std::optional<std::uint16_t> DecodeFeatHdrProtection(TByteCursor& body);

}  // namespace vorlix::records

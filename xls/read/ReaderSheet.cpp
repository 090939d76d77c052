// Handlers of the records inside a sheet: cell values and their formats, stored formulas,
// rows, columns, merged areas, hyperlinks, validations, page setup and window settings.
#include <bit>
#include <cmath>

#include "xls/format/TFormatStrings.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/StringHelpers.h"
#include "xls/model/TCellValidations.h"
#include "xls/model/TCells.h"
#include "xls/model/TPageSetup.h"
#include "xls/model/TRanges.h"
#include "xls/model/TRowCols.h"
#include "xls/read/BodyReader.h"
#include "xls/read/HyperlinkDecoder.h"
#include "xls/read/RecordIds.h"
#include "xls/read/TBIFFStream.h"
#include "xls/read/TXLSReader.h"
#include "xls/read/ValidationReader.h"

namespace vorlix {

namespace {

// RK numbers: bit 0 says "divide by 100", bit 1 says the upper 30 bits are an integer;
// otherwise they are the upper 30 bits of a double whose lower 34 bits are zero.
constexpr std::uint32_t kRkDiv100 = 0x01;
constexpr std::uint32_t kRkInteger = 0x02;

double DecodeRk(std::uint32_t rk) {
    double value;
    if ((rk & kRkInteger) != 0) {
        value = static_cast<double>(static_cast<std::int32_t>(rk & ~3u) >> 2);
    } else {
        value = std::bit_cast<double>(static_cast<std::uint64_t>(rk & ~3u) << 32);
    }
    return (rk & kRkDiv100) != 0 ? value / 100.0 : value;
}

// A FORMULA result whose last two bytes are 0xFFFF is not a number: byte 0 gives its type.
constexpr std::uint8_t kResultString = 0;
constexpr std::uint8_t kResultBoolean = 1;

constexpr std::uint16_t kRowHidden = 0x20;
constexpr std::uint16_t kRowHeightSet = 0x40;
constexpr std::uint16_t kRowFormatted = 0x80;
constexpr std::uint16_t kOutlineMask = 0x07;
constexpr std::uint16_t kColumnHidden = 0x01;
constexpr std::uint32_t kLastColumn = 255;

constexpr std::uint16_t kSetupLeftToRight = 0x01;
constexpr std::uint16_t kSetupPortrait = 0x02;
constexpr std::uint16_t kSetupBlackAndWhite = 0x08;
constexpr std::uint16_t kSetupDraft = 0x10;
constexpr std::uint16_t kSetupUsePageNumber = 0x80;

constexpr std::uint16_t kWsBoolRowsBelow = 0x40;
constexpr std::uint16_t kWsBoolColumnsRight = 0x80;
constexpr std::uint16_t kWsBoolFitToPage = 0x100;

constexpr std::uint16_t kWindowGridLines = 0x02;
constexpr std::uint16_t kWindowHeaders = 0x04;
constexpr std::uint16_t kWindowZeros = 0x10;
constexpr std::uint16_t kWindowRightToLeft = 0x40;
constexpr std::uint16_t kWindowPageBreakPreview = 0x800;

constexpr std::int64_t kFeatHdrFlagsAt = 19;

std::string_view BodyView(TEasyStream& body) {
    return std::string_view(reinterpret_cast<const char*>(body.Memory()),
                            static_cast<std::size_t>(body.Size()));
}

// The text of one header or footer section ("&L", "&C" or "&R"), or nothing when the code
// does not occur.
bool Section(const std::u16string& text, std::u16string_view code, std::u16string& out) {
    const std::size_t at = text.find(code);
    if (at == std::u16string::npos) return false;
    std::u16string rest = text.substr(at + code.size());
    // Only the other two codes end a section.
    std::size_t end = rest.size();
    for (std::u16string_view other : {u"&L", u"&C", u"&R"}) {
        if (other == code) continue;
        end = std::min(end, rest.find(other));
    }
    out = rest.substr(0, end);
    return true;
}

}  // namespace

// Cell format and the date decision.

double TXLSReader::ToDateTime(double serial, TNumberUse use) const {
    // A duration ("[h]:mm" of 1.5 days) is a count of days in either date system.
    if (use == TNumberUse::Duration) return serial;
    if (workbook_.DateMode == 1904) return serial + 1462;
    // Serial 60 is the format's 29 February 1900, which never was: it becomes 1 March.
    double d = serial + 1;
    if (d > 61) d -= 1;
    return d;
}

bool TXLSReader::ValidXF(std::uint32_t xf) const {
    return xf < static_cast<std::uint32_t>(workbook_.XFTable().Count());
}

TXLSReader::TNumberUse TXLSReader::NumberUseOfXF(std::uint32_t xf) {
    if (xf >= numberUseOfXF_.size()) {
        numberUseOfXF_.resize(static_cast<std::size_t>(xf) + 1, TNumberUse::Unknown);
    }
    TNumberUse& use = numberUseOfXF_[xf];
    if (use == TNumberUse::Unknown) {
        const TFormatStrings& formats = workbook_.FormatTable();
        const int position =
            RecordGet16(workbook_.XFTable().RecordAt(static_cast<int>(xf)), xfrec::kNumberFormat);
        use = TNumberUse::Number;
        if (position >= 0 && position < formats.FormatCount()) {
            const TFormatEntry& entry = formats.Entry(position);
            TFormatKind kind = FormatKindOfIndex(entry.Index);
            if (kind == TFormatKind::None && !entry.Text.empty())
                kind = FormatKindOfText(entry.Text);
            if (kind == TFormatKind::Date) {
                use =
                    FormatHasElapsedTime(entry.Text) ? TNumberUse::Duration : TNumberUse::DateTime;
            }
        }
    }
    return use;
}

void TXLSReader::ApplyCellFormat(TCell& cell, std::uint32_t xf) {
    if (!ValidXF(xf)) return;
    cell.SetXFIndex(static_cast<std::int32_t>(xf));
    const TNumberUse use = NumberUseOfXF(xf);
    if (use == TNumberUse::Number) return;
    const TCellValue value = cell.Value();
    if (value.IsNumeric()) cell.SetValue(TCellValue::DateTime(ToDateTime(value.AsDouble(), use)));
}

void TXLSReader::PutNumber(std::uint32_t row, std::uint32_t col, std::uint32_t xf, double value) {
    TCells& cells = CurrentSheet().Cells();
    if (!ValidXF(xf)) {
        cells.LoadNumber(row, col, vkDouble, value, -1);
        return;
    }
    const TNumberUse use = NumberUseOfXF(xf);
    if (use == TNumberUse::Number) {
        cells.LoadNumber(row, col, vkDouble, value, static_cast<std::int32_t>(xf));
    } else {
        cells.LoadNumber(row, col, vkDate, ToDateTime(value, use), static_cast<std::int32_t>(xf));
    }
}

void TXLSReader::PutText(std::uint32_t row, std::uint32_t col, std::uint32_t xf,
                         const SharedString& text) {
    TCells& cells = CurrentSheet().Cells();
    const std::int32_t format = ValidXF(xf) ? static_cast<std::int32_t>(xf) : -1;
    if (text.Wide) {
        cells.LoadText(row, col, std::u16string_view(text.Text), format);
    } else {
        cells.LoadText(row, col, std::string_view(text.Ansi), format);
    }
}

// Cell records.

void TXLSReader::ReadNumber() {
    BodyReader body(Record().Data);
    const std::uint16_t row = body.U16(), col = body.U16(), xf = body.U16();
    PutNumber(row, col, xf, body.F64());
    Consume();
}

void TXLSReader::ReadRk() {
    BodyReader body(Record().Data);
    const std::uint16_t row = body.U16(), col = body.U16(), xf = body.U16();
    PutNumber(row, col, xf, DecodeRk(body.U32()));
    Consume();
}

void TXLSReader::ReadMulRk() {
    BodyReader body(Record().Data);
    const std::uint16_t row = body.U16();
    std::uint32_t col = body.U16();
    // Pairs of XF and RK; the last column field that ends the record is not needed.
    while (body.Remaining() > 6) {
        const std::uint16_t xf = body.U16();
        PutNumber(row, col++, xf, DecodeRk(body.U32()));
    }
    Consume();
}

void TXLSReader::ReadLabel() {
    BodyReader body(Record().Data);
    const std::uint16_t row = body.U16(), col = body.U16(), xf = body.U16();
    const std::uint16_t count = body.U16();
    SharedString text;
    if (count != 0) {
        const bool wide = (body.U8() & 0x01) != 0;
        const std::int64_t bytes = wide ? 2 * static_cast<std::int64_t>(count) : count;
        const std::string raw = bytes <= body.Remaining() ? body.Bytes(bytes) : std::string();
        text.Wide = wide;
        if (wide) {
            text.Text = BytesToWide(raw);
        } else {
            text.Ansi = WideToAnsi(ExpandLatin1(raw));
        }
    }
    PutText(row, col, xf, text);
    Consume();
}

void TXLSReader::ReadLabelSst() {
    BodyReader body(Record().Data);
    const std::uint16_t row = body.U16(), col = body.U16(), xf = body.U16();
    const std::uint32_t index = body.U32();
    if (index >= stringTable_.size()) throw EListError(index);
    PutText(row, col, xf, stringTable_[index]);
    Consume();
}

void TXLSReader::Blank(std::uint32_t row, std::uint32_t col, std::uint32_t xf) {
    if (!ValidXF(xf) || workbook_.XFTable().IsPlainXF(static_cast<int>(xf))) return;
    TCell cell = CurrentSheet().Cells().GetCell(row, col);
    ApplyCellFormat(cell, xf);
}

void TXLSReader::ReadBlank() {
    if (options_.ReadBlankCells) {
        BodyReader body(Record().Data);
        const std::uint16_t row = body.U16(), col = body.U16(), xf = body.U16();
        Blank(row, col, xf);
    }
    Consume();
}

void TXLSReader::ReadMulBlank() {
    if (options_.ReadBlankCells) {
        BodyReader body(Record().Data);
        const std::uint16_t row = body.U16();
        std::uint32_t col = body.U16();
        while (body.Remaining() > 2)
            Blank(row, col++, body.U16());
    }
    Consume();
}

void TXLSReader::ReadBoolErr() {
    BodyReader body(Record().Data);
    const std::uint16_t row = body.U16(), col = body.U16(), xf = body.U16();
    // The value byte and the error flag together: 0 or 1 is a boolean; with the error flag
    // set it is an error code, which makes no cell.
    const std::uint16_t value = body.U16();
    if (value <= 1) {
        CurrentSheet().Cells().LoadBoolean(row, col, value == 1,
                                           ValidXF(xf) ? static_cast<std::int32_t>(xf) : -1);
    }
    Consume();
}

void TXLSReader::ReadFormula() {
    BodyReader body(Record().Data);
    const std::uint16_t row = body.U16(), col = body.U16(), xf = body.U16();
    const std::string result = body.Bytes(8);
    const auto byteAt = [&](std::size_t i) {
        return i < result.size() ? static_cast<std::uint8_t>(result[i]) : std::uint8_t{0};
    };
    TCell cell = CurrentSheet().Cells().GetCell(row, col);
    if (byteAt(6) == 0xFF && byteAt(7) == 0xFF) {
        if (byteAt(0) == kResultString) {
            pendingRow_ = row;
            pendingCol_ = col;
            pendingXF_ = xf;
        } else if (byteAt(0) == kResultBoolean) {
            cell.SetValue(TCellValue::Boolean(byteAt(2) == 1));
        }
    } else {
        std::uint64_t bits = 0;
        for (int i = 7; i >= 0; --i)
            bits = bits << 8 | byteAt(static_cast<std::size_t>(i));
        cell.SetValue(TCellValue::Number(std::bit_cast<double>(bits)));
    }
    ApplyCellFormat(cell, xf);
    if (options_.ReadFormulas) {
        std::string entry = body.Bytes(2);  // option flags, as stored
        entry.resize(2, '\0');
        body.Skip(4);
        const std::uint16_t length = body.U16();
        entry += body.Bytes(length);
        formulaTable_.push_back(std::move(entry));
        cell.SetFormula(std::to_string(formulaTable_.size() - 1));
    }
    Consume();
}

void TXLSReader::ReadString() {
    if (pendingRow_ < 0 || pendingCol_ < 0 || pendingXF_ < 0) {
        Consume();
        return;
    }
    BodyReader body(Record().Data);
    const std::uint16_t count = body.U16();
    const bool wide = (body.U8() & 0x01) != 0;
    SharedString text;
    const bool complete = ReadContinuedChars(count, wide, text);
    TCell cell = CurrentSheet().Cells().GetCell(static_cast<std::uint32_t>(pendingRow_),
                                                static_cast<std::uint32_t>(pendingCol_));
    cell.SetValue(text.Wide ? TCellValue::Wide(std::move(text.Text))
                            : TCellValue::Ansi(std::move(text.Ansi)));
    ApplyCellFormat(cell, static_cast<std::uint32_t>(pendingXF_));
    pendingRow_ = pendingCol_ = pendingXF_ = -1;
    if (complete) Consume();  // otherwise the record that cut it short is dispatched next
}

void TXLSReader::ReadShrFmla() {
    if (options_.ReadFormulas) {
        sharedFormulas_.emplace_back(static_cast<std::uint16_t>(sheetIndex_),
                                     std::string(BodyView(Record().Data)));
    }
    Consume();
}

// Rows and columns.

void TXLSReader::ReadRow() {
    if (options_.ReadRowInfo) {
        BodyReader body(Record().Data);
        const std::uint16_t number = body.U16();
        body.Skip(4);  // first and last column
        const std::uint16_t twips = body.U16();
        body.Skip(4);
        const std::uint16_t options = body.U16();
        const std::uint16_t xf = body.U16();
        TSheet& sheet = CurrentSheet();
        TRow* row = sheet.Rows().GetRow(number);
        row->SetHeight(twips / 20.0);
        if ((options & kRowHidden) != 0) row->SetHidden(true);
        for (int level = options & kOutlineMask; level > 0; --level)
            sheet.GroupRows(number, number);
        // Grouping looks the row up again; a row nothing committed on is replaced then.
        row = sheet.Rows().GetRow(number);
        if ((options & kRowHeightSet) == 0) row->ClearSizeSet();
        if ((options & kRowFormatted) != 0 && xf < workbook_.XFTable().Count()) row->SetXFIndex(xf);
    }
    Consume();
}

void TXLSReader::ReadColInfo() {
    if (options_.ReadColumnInfo) {
        BodyReader body(Record().Data);
        const std::uint32_t first = body.U16();
        const std::uint32_t last = std::min<std::uint32_t>(body.U16(), kLastColumn);
        const std::uint16_t width = body.U16();
        const std::uint16_t xf = body.U16();
        const std::uint16_t options = body.U16();
        TSheet& sheet = CurrentSheet();
        for (std::uint32_t n = first; n <= last; ++n) {
            TColumn* column = sheet.Columns().GetColumn(static_cast<std::uint16_t>(n));
            column->SetWidth(ColumnUnitsToChars(width));
            if ((options & kColumnHidden) != 0) column->SetHidden(true);
            if (xf < workbook_.XFTable().Count()) column->SetXFIndex(xf);
        }
        if (first <= last) {
            for (int level = options >> 8 & kOutlineMask; level > 0; --level) {
                sheet.GroupColumns(static_cast<std::uint8_t>(first),
                                   static_cast<std::uint8_t>(last));
            }
        }
    }
    Consume();
}

void TXLSReader::ReadMergedCells() {
    BodyReader body(Record().Data);
    body.Skip(2);  // area count: the body says how many there are
    TSheet& sheet = CurrentSheet();
    while (body.Remaining() >= 8) {
        const std::uint16_t firstRow = body.U16(), lastRow = body.U16();
        const std::uint16_t firstCol = body.U16(), lastCol = body.U16();
        TRange& range = sheet.Ranges().Add();
        range.AddRect(firstRow, lastRow, static_cast<std::uint8_t>(firstCol),
                      static_cast<std::uint8_t>(lastCol));
        const std::uint64_t cells = range.CellCount();
        if (cells <= areaCellBudget_) {
            areaCellBudget_ -= cells;
            range.Merge();
        } else {
            range.MarkMerged();  // the area is kept; its cells are not brought into being
        }
    }
    Consume();
}

void TXLSReader::ReadHLink() {
    const THyperlink link = DecodeHyperlink(BodyView(Record().Data));
    const std::uint64_t cells = link.LastRow < link.FirstRow || link.LastCol < link.FirstCol
                                    ? 0
                                    : static_cast<std::uint64_t>(link.LastRow - link.FirstRow + 1) *
                                          (link.LastCol - link.FirstCol + 1);
    if (!link.Text.empty() && cells <= areaCellBudget_) {
        areaCellBudget_ -= cells;
        TCells& cells = CurrentSheet().Cells();
        for (std::uint32_t row = link.FirstRow; row <= link.LastRow; ++row) {
            for (std::uint32_t col = link.FirstCol; col <= link.LastCol; ++col) {
                TCell cell = cells.GetCell(row, col);
                cell.SetHyperlink(link.Text);
                cell.SetHyperlinkKind(link.Kind);
            }
        }
    }
    Consume();
}

void TXLSReader::ReadDv() {
    CurrentSheet().Validations().Add(ReadValidation(Record().Data, options_.StrictFormulas,
                                                    static_cast<std::uint16_t>(sheetIndex_)));
    Consume();
}

// Page setup.

void TXLSReader::ReadHeaderFooter(bool header) {
    if (Record().Data.Size() > 0) {
        BodyReader body(Record().Data);
        const std::u16string text = body.Text16();
        TPageSetup& setup = CurrentSheet().PageSetup();
        Section(text, u"&L", header ? setup.HeaderLeft : setup.FooterLeft);
        Section(text, u"&C", header ? setup.HeaderCenter : setup.FooterCenter);
        Section(text, u"&R", header ? setup.HeaderRight : setup.FooterRight);
    }
    Consume();
}

void TXLSReader::ReadHeader() {
    ReadHeaderFooter(true);
}
void TXLSReader::ReadFooter() {
    ReadHeaderFooter(false);
}

void TXLSReader::ReadSetup() {
    BodyReader body(Record().Data);
    TPageSetup& setup = CurrentSheet().PageSetup();
    setup.PaperSize = static_cast<std::uint8_t>(body.U16());
    setup.Scale = static_cast<std::int16_t>(body.U16());
    setup.FirstPageNumber = static_cast<std::int16_t>(body.U16());
    setup.FitWidth = static_cast<std::int16_t>(body.U16());
    setup.FitHeight = static_cast<std::int16_t>(body.U16());
    const std::uint16_t options = body.U16();
    setup.LeftToRight = (options & kSetupLeftToRight) != 0;
    setup.Portrait = (options & kSetupPortrait) != 0;
    setup.BlackAndWhite = (options & kSetupBlackAndWhite) != 0;
    setup.Draft = (options & kSetupDraft) != 0;
    if ((options & kSetupUsePageNumber) == 0) setup.FirstPageNumber = -1;
    body.Skip(4);  // print and vertical resolution
    setup.HeaderMargin = body.F64();
    setup.FooterMargin = body.F64();
    Consume();
}

void TXLSReader::ReadMargin() {
    const double inches = BodyReader(Record().Data).F64();
    TPageSetup& setup = CurrentSheet().PageSetup();
    switch (Record().Id) {
        case rec::kLeftMargin:
            setup.LeftMargin = inches;
            break;
        case rec::kRightMargin:
            setup.RightMargin = inches;
            break;
        case rec::kTopMargin:
            setup.TopMargin = inches;
            break;
        default:
            setup.BottomMargin = inches;
            break;
    }
    Consume();
}

void TXLSReader::ReadPrintFlag() {
    const bool on = BodyReader(Record().Data).U16() == 1;
    TPageSetup& setup = CurrentSheet().PageSetup();
    switch (Record().Id) {
        case rec::kPrintRowCol:
            setup.PrintHeadings = on;
            break;
        case rec::kPrintGrid:
            setup.PrintGridLines = on;
            break;
        case rec::kHCenter:
            setup.CenterHorizontally = on;
            break;
        default:
            setup.CenterVertically = on;
            break;
    }
    Consume();
}

void TXLSReader::ReadWsBool() {
    const std::uint16_t options = BodyReader(Record().Data).U16();
    TPageSetup& setup = CurrentSheet().PageSetup();
    setup.SummaryRowsAbove = (options & kWsBoolRowsBelow) == 0;
    setup.SummaryColumnsLeft = (options & kWsBoolColumnsRight) == 0;
    setup.UseScale = (options & kWsBoolFitToPage) == 0;
    Consume();
}

// Window and protection.

void TXLSReader::ReadWindow2() {
    const std::uint16_t options = BodyReader(Record().Data).U16();
    TSheet& sheet = CurrentSheet();
    sheet.ShowGridLines = (options & kWindowGridLines) != 0;
    sheet.ShowHeaders = (options & kWindowHeaders) != 0;
    sheet.ShowZeros = (options & kWindowZeros) != 0;
    sheet.RightToLeft = (options & kWindowRightToLeft) != 0;
    sheet.PageBreakPreview = (options & kWindowPageBreakPreview) != 0;
    Consume();
}

void TXLSReader::ReadPane() {
    BodyReader body(Record().Data);
    const std::uint16_t horizontal = body.U16();
    const std::uint16_t vertical = body.U16();
    TSheet& sheet = CurrentSheet();
    sheet.SplitColumns = static_cast<std::uint8_t>(horizontal);
    sheet.SplitRows = vertical;
    Consume();
}

void TXLSReader::ReadScl() {
    BodyReader body(Record().Data);
    const std::uint32_t numerator = body.U16();
    const std::uint32_t denominator = body.U16();
    if (denominator != 0) {
        CurrentSheet().Zoom = static_cast<std::uint8_t>(numerator * 100 / denominator);
    }
    Consume();
}

void TXLSReader::ReadFeatHdr() {
    BodyReader body(Record().Data);
    if (body.Remaining() > 20) {
        body.Skip(kFeatHdrFlagsAt);
        CurrentSheet().ProtectionOptions = body.U16();
    }
    Consume();
}

// Stored formulas become formula text once every sheet, name and reference is known.
// Without a token decoder every formula counts as not recognised: the cell keeps its
// cached result and an empty formula.
void TXLSReader::FinishFormulas() {
    if (formulaTable_.empty()) return;
    TSheets& sheets = workbook_.Sheets();
    for (int s = 0; s < sheets.Count(); ++s) {
        TCells& cells = sheets.Items(s).Cells();
        for (int i = 0; i < cells.Count(); ++i) {
            TCell cell = cells.Items(i);
            if (!cell.Formula().empty()) cell.SetFormula("");
        }
    }
}

}  // namespace vorlix

// The sheet reader's handlers of cell records: values and their formats, the text results
// that follow formulas, hyperlinks and data validations; a number under a date format
// becomes a date-time (the XF cache of the read context decides). Formulas are in
// ReaderFormulas.cpp, rows and columns in ReaderRowsColumns.cpp, page setup and window
// settings in ReaderPageSetup.cpp.
#include <algorithm>
#include <unordered_map>

#include "platform/CodePage.h"
#include "xls/format/TFormatStrings.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/StringHelpers.h"
#include "xls/model/TCellValidations.h"
#include "xls/model/TCells.h"
#include "xls/read/ReadContext.h"
#include "xls/read/SheetReader.h"
#include "xls/read/ValidationReader.h"
#include "xls/read/records/Biff5Records.h"
#include "xls/read/records/HyperlinkRecords.h"
#include "xls/read/records/ValidationRecords.h"

namespace vorlix {

TSheetReader::TSheetReader(TReadContext& context) : context_(context) {}

// Cell format and the date decision.

void TSheetReader::ApplyCellFormat(TCell& cell, std::uint32_t xf) {
    if (!context_.ValidXF(xf)) return;
    cell.SetXFIndex(static_cast<std::int32_t>(xf));
    const TReadContext::TNumberUse use = context_.NumberUseOfXF(xf);
    if (use == TReadContext::TNumberUse::Number) return;
    const TCellValue value = cell.Value();
    if (value.IsNumeric()) cell.SetValue(context_.ToDateTime(value.AsDouble(), use));
}

void TSheetReader::PutNumber(std::uint32_t row, std::uint32_t col, std::uint32_t xf, double value) {
    TCells& cells = context_.CurrentSheet().Cells();
    if (!context_.ValidXF(xf)) {
        cells.LoadNumber(row, col, vkDouble, value, -1);
        return;
    }
    const TReadContext::TNumberUse use = context_.NumberUseOfXF(xf);
    if (use == TReadContext::TNumberUse::Number) {
        cells.LoadNumber(row, col, vkDouble, value, static_cast<std::int32_t>(xf));
    } else {
        const TCellValue date = context_.ToDateTime(value, use);
        cells.LoadDateTime(row, col, date.AsDouble(), date.DateTimeUse(),
                           static_cast<std::int32_t>(xf));
    }
}

void TSheetReader::PutText(std::uint32_t row, std::uint32_t col, std::uint32_t xf,
                           const TSharedString& text) {
    TCells& cells = context_.CurrentSheet().Cells();
    const std::int32_t format = context_.ValidXF(xf) ? static_cast<std::int32_t>(xf) : -1;
    if (text.Wide) {
        cells.LoadText(row, col, std::u16string_view(text.Text), format);
    } else {
        cells.LoadText(row, col, std::string_view(text.Ansi), format);
    }
}

// Cell records.

void TSheetReader::ReadNumber(TRecordCursor& body) {
    const records::TNumberRecord r = records::DecodeNumber(body);
    PutNumber(r.Cell.Row, r.Cell.Col, r.Cell.XF, r.Value);
}

void TSheetReader::ReadRk(TRecordCursor& body) {
    const records::TNumberRecord r = records::DecodeRk(body);
    PutNumber(r.Cell.Row, r.Cell.Col, r.Cell.XF, r.Value);
}

void TSheetReader::ReadMulRk(TRecordCursor& body) {
    records::DecodeMulRk(body, mulRk_);
    std::uint32_t col = mulRk_.FirstCol;
    for (const auto& cell : mulRk_.Cells)
        PutNumber(mulRk_.Row, col++, cell.XF, cell.Value);
}

// LABEL and RSTRING (whose formatting runs after the text are not kept).
void TSheetReader::ReadLabel(TRecordCursor& body) {
    if (context_.Biff5()) {
        records::TLabel5Record r = records::DecodeLabel5(body, context_.TextCodePage);
        PutText(r.Cell.Row, r.Cell.Col, r.Cell.XF,
                DecodedToSharedString(std::move(r.Text), CodePage()));
        return;
    }
    const records::TLabelRecord r = records::DecodeLabel(body);
    TSharedString text;
    text.Wide = r.Wide;
    if (r.Wide) {
        text.Text = BytesToWide(r.Chars);
    } else {
        text.Ansi = WideToAnsi(CodePage(), ExpandLatin1(r.Chars));
    }
    PutText(r.Cell.Row, r.Cell.Col, r.Cell.XF, text);
}

void TSheetReader::ReadLabelSst(TRecordCursor& body) {
    const records::TLabelSstRecord r = records::DecodeLabelSst(body);
    if (r.Index >= context_.Strings.size()) {
        // A shared-string table that holds fewer strings than its cells use (its count and
        // its strings disagree, or it was cut short): such cells stay empty, as in other
        // readers, and the workbook says so once.
        const std::string warning =
            "cells refer to shared strings that the workbook's string table does not hold; "
            "they were left empty";
        std::vector<std::string>& warnings = context_.Workbook.Warnings;
        if (std::find(warnings.begin(), warnings.end(), warning) == warnings.end())
            warnings.push_back(warning);
        return;
    }
    // A shared string is copied into the sheet once; its other cells point at that copy.
    TCells& cells = context_.CurrentSheet().Cells();
    if (sharedPlacesOf_ != &cells) {
        sharedPlaces_.assign(context_.Strings.size(), 0);
        sharedPlacesOf_ = &cells;
    } else if (sharedPlaces_.size() < context_.Strings.size()) {
        sharedPlaces_.resize(context_.Strings.size(), 0);  // a later SST added strings
    }
    const std::int32_t format =
        context_.ValidXF(r.Cell.XF) ? static_cast<std::int32_t>(r.Cell.XF) : -1;
    const TSharedString& text = context_.Strings[r.Index];
    std::uint64_t& place = sharedPlaces_[r.Index];
    if (place != 0) {
        cells.LoadStoredText(r.Cell.Row, r.Cell.Col, place - 1, text.Wide, format);
    } else if (text.Wide) {
        place = cells.LoadText(r.Cell.Row, r.Cell.Col, std::u16string_view(text.Text), format) + 1;
    } else {
        place = cells.LoadText(r.Cell.Row, r.Cell.Col, std::string_view(text.Ansi), format) + 1;
    }
}

void TSheetReader::Blank(std::uint32_t row, std::uint32_t col, std::uint32_t xf) {
    if (!context_.ValidXF(xf) || context_.Workbook.XFTable().IsPlainXF(static_cast<int>(xf)))
        return;
    TCell cell = context_.CurrentSheet().Cells().GetCell(row, col);
    ApplyCellFormat(cell, xf);
}

void TSheetReader::ReadBlank(TRecordCursor& body) {
    const records::TCellAddress a = records::DecodeCellAddress(body);
    if (!context_.Options.ReadBlankCells) return;
    Blank(a.Row, a.Col, a.XF);
}

void TSheetReader::ReadMulBlank(TRecordCursor& body) {
    records::DecodeMulBlank(body, mulBlank_);
    if (!context_.Options.ReadBlankCells) return;
    std::uint32_t col = mulBlank_.FirstCol;
    for (const std::uint16_t xf : mulBlank_.XFs)
        Blank(mulBlank_.Row, col++, xf);
}

// A boolean or an error value; a value byte that is neither (a boolean above 1) makes no cell.
void TSheetReader::ReadBoolErr(TRecordCursor& body) {
    const records::TBoolErrRecord r = records::DecodeBoolErr(body);
    const std::int32_t xf = context_.ValidXF(r.Cell.XF) ? static_cast<std::int32_t>(r.Cell.XF) : -1;
    if (r.Error) {
        context_.CurrentSheet().Cells().LoadError(r.Cell.Row, r.Cell.Col, r.Value, xf);
    } else if (r.Value <= 1) {
        context_.CurrentSheet().Cells().LoadBoolean(r.Cell.Row, r.Cell.Col, r.Value == 1, xf);
    }
}

// The text result of the formula before it; its characters may go on in CONTINUE records.
void TSheetReader::ReadString(TRecordCursor& body) {
    if (pendingRow_ < 0 || pendingCol_ < 0 || pendingXF_ < 0) return;
    TSharedString text;
    if (context_.Biff5()) {
        // 8-bit characters in the code page, without an option byte.
        text = DecodedToSharedString(records::LongString8(body, context_.TextCodePage), CodePage());
    } else {
        const std::uint16_t count = body.U16();
        const bool wide = (body.U8() & 0x01) != 0;
        std::u16string chars;
        bool anyWide = false;
        body.ContinuedChars(count, wide, chars, anyWide);
        text = ToSharedString(std::move(chars), anyWide, CodePage());
    }
    TCell cell = context_.CurrentSheet().Cells().GetCell(static_cast<std::uint32_t>(pendingRow_),
                                                         static_cast<std::uint32_t>(pendingCol_));
    cell.SetValue(text.Wide ? TCellValue::Wide(std::move(text.Text))
                            : TCellValue::Ansi(std::move(text.Ansi)));
    ApplyCellFormat(cell, static_cast<std::uint32_t>(pendingXF_));
    pendingRow_ = pendingCol_ = pendingXF_ = -1;
}

namespace {

// The address of a hyperlink: a local file's short path is 8-bit text in the code page
// (to its first zero); the long path stands instead when the file moniker has one that is
// not shorter.
std::u16string LinkText(const records::THyperlinkRecord& link, std::uint32_t codePage) {
    if (link.Kind != hkFile) return link.Text;
    std::u16string shortPath = platform::MultiByteToWide(codePage, link.ShortPath);
    shortPath.resize(std::min(shortPath.size(), shortPath.find(u'\0')));
    if (!link.HasLongPath || link.Text.size() < shortPath.size()) return shortPath;
    return link.Text;
}

}  // namespace

// A hyperlink on every cell of its range, within the budget of cells that areas may create.
void TSheetReader::StartSheet() {
    sharedPlaces_.clear();
    sharedPlacesOf_ = nullptr;
    pendingRow_ = pendingCol_ = pendingXF_ = -1;
}

void TSheetReader::ReadHLink(TRecordCursor& body) {
    const records::THyperlinkRecord link = records::DecodeHyperlink(body);
    const std::u16string text = LinkText(link, CodePage());
    const std::uint64_t count = link.LastRow < link.FirstRow || link.LastCol < link.FirstCol
                                    ? 0
                                    : static_cast<std::uint64_t>(link.LastRow - link.FirstRow + 1) *
                                          (link.LastCol - link.FirstCol + 1);
    // A linked cell keeps its address twice, as the link and (when it had no value) as its
    // text: every 12 characters of address weigh about as much as one more cell.
    const std::uint64_t weight = 1 + text.size() / 12;
    if (text.empty() || count > context_.AreaCellBudget / weight) return;
    context_.AreaCellBudget -= count * weight;
    TCells& cells = context_.CurrentSheet().Cells();
    // A link shows in the link colour, underlined: cells of the same format end up with the
    // same new format, found once and then handed on, so that a large range does not look
    // its fonts and formats up cell by cell.
    std::unordered_map<std::int32_t, std::int32_t> linkedFormat;
    for (std::uint32_t row = link.FirstRow; row <= link.LastRow; ++row) {
        for (std::uint32_t col = link.FirstCol; col <= link.LastCol; ++col) {
            TCell cell = cells.GetCell(row, col);
            const std::int32_t format = cell.XFIndex();
            const auto known = linkedFormat.find(format);
            if (known != linkedFormat.end()) cell.SetXFIndex(known->second);
            cell.SetHyperlink(text);
            if (known == linkedFormat.end()) linkedFormat.emplace(format, cell.XFIndex());
            cell.SetHyperlinkKind(link.Kind);
        }
    }
}

void TSheetReader::ReadDv(TRecordCursor& body) {
    const records::TDvRecord dv = records::DecodeDv(body);
    context_.CurrentSheet().Validations().Add(
        MakeValidation(dv, context_.Parser(), context_.Options.StrictFormulas,
                       static_cast<std::uint16_t>(context_.SheetIndex)));
}

}  // namespace vorlix

// Handlers of the cell records of a sheet: values and their formats, the text results
// that follow formulas, hyperlinks and data validations; and the date decision, which
// turns a number under a date format into a date-time. Formulas are in ReaderFormulas.cpp.
#include <unordered_map>

#include "xls/format/TFormatStrings.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/StringHelpers.h"
#include "xls/model/TCellValidations.h"
#include "xls/model/TCells.h"
#include "xls/read/HyperlinkDecoder.h"
#include "xls/read/TBIFFStream.h"
#include "xls/read/TXLSReader.h"
#include "xls/read/ValidationReader.h"

namespace vorlix {

// Cell format and the date decision.

TCellValue TXLSReader::ToDateTime(double serial, TNumberUse use) const {
    // A duration ("[h]:mm" of 1.5 days) is a count of days in either date system, and a
    // time of day ("h:mm" of 0.25) the fraction of a day: neither belongs to a date.
    if (use == TNumberUse::Duration) return TCellValue::Duration(serial);
    if (use == TNumberUse::Time && serial >= 0 && serial < 1) return TCellValue::TimeOfDay(serial);
    if (workbook_.DateMode == 1904) return TCellValue::DateTime(serial + 1462);
    // Serial 60 is the format's 29 February 1900, which never was: it becomes 1 March.
    double d = serial + 1;
    if (d > 61) d -= 1;
    return TCellValue::DateTime(d);
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
                use = FormatHasElapsedTime(entry.Text) ? TNumberUse::Duration
                      : FormatHasDate(entry.Text)      ? TNumberUse::DateTime
                                                       : TNumberUse::Time;
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
    if (value.IsNumeric()) cell.SetValue(ToDateTime(value.AsDouble(), use));
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
        const TCellValue date = ToDateTime(value, use);
        cells.LoadDateTime(row, col, date.AsDouble(), date.DateTimeUse(),
                           static_cast<std::int32_t>(xf));
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

void TXLSReader::ReadNumber(Body& body) {
    const records::TNumberRecord r = records::DecodeNumber(body);
    PutNumber(r.Cell.Row, r.Cell.Col, r.Cell.XF, r.Value);
}

void TXLSReader::ReadRk(Body& body) {
    const records::TNumberRecord r = records::DecodeRk(body);
    PutNumber(r.Cell.Row, r.Cell.Col, r.Cell.XF, r.Value);
}

void TXLSReader::ReadMulRk(Body& body) {
    records::DecodeMulRk(body, mulRk_);
    std::uint32_t col = mulRk_.FirstCol;
    for (const auto& cell : mulRk_.Cells)
        PutNumber(mulRk_.Row, col++, cell.XF, cell.Value);
}

void TXLSReader::ReadLabel(Body& body) {
    const records::TLabelRecord r = records::DecodeLabel(body);
    SharedString text;
    text.Wide = r.Wide;
    if (r.Wide) {
        text.Text = BytesToWide(r.Chars);
    } else {
        text.Ansi = WideToAnsi(ExpandLatin1(r.Chars));
    }
    PutText(r.Cell.Row, r.Cell.Col, r.Cell.XF, text);
}

void TXLSReader::ReadLabelSst(Body& body) {
    const records::TLabelSstRecord r = records::DecodeLabelSst(body);
    if (r.Index >= stringTable_.size()) throw EListError(r.Index);
    // A shared string is copied into the sheet once; its other cells point at that copy.
    TCells& cells = CurrentSheet().Cells();
    if (sharedPlacesOf_ != &cells) {
        sharedPlaces_.assign(stringTable_.size(), 0);
        sharedPlacesOf_ = &cells;
    } else if (sharedPlaces_.size() < stringTable_.size()) {
        sharedPlaces_.resize(stringTable_.size(), 0);  // a later SST added strings
    }
    const std::int32_t format = ValidXF(r.Cell.XF) ? static_cast<std::int32_t>(r.Cell.XF) : -1;
    const SharedString& text = stringTable_[r.Index];
    std::uint64_t& place = sharedPlaces_[r.Index];
    if (place != 0) {
        cells.LoadStoredText(r.Cell.Row, r.Cell.Col, place - 1, text.Wide, format);
    } else if (text.Wide) {
        place = cells.LoadText(r.Cell.Row, r.Cell.Col, std::u16string_view(text.Text), format) + 1;
    } else {
        place = cells.LoadText(r.Cell.Row, r.Cell.Col, std::string_view(text.Ansi), format) + 1;
    }
}

void TXLSReader::Blank(std::uint32_t row, std::uint32_t col, std::uint32_t xf) {
    if (!ValidXF(xf) || workbook_.XFTable().IsPlainXF(static_cast<int>(xf))) return;
    TCell cell = CurrentSheet().Cells().GetCell(row, col);
    ApplyCellFormat(cell, xf);
}

void TXLSReader::ReadBlank(Body& body) {
    if (!options_.ReadBlankCells) return;
    const records::TCellAddress a = records::DecodeCellAddress(body);
    Blank(a.Row, a.Col, a.XF);
}

void TXLSReader::ReadMulBlank(Body& body) {
    if (!options_.ReadBlankCells) return;
    records::DecodeMulBlank(body, mulBlank_);
    std::uint32_t col = mulBlank_.FirstCol;
    for (const std::uint16_t xf : mulBlank_.XFs)
        Blank(mulBlank_.Row, col++, xf);
}

// A boolean or an error value; a value byte that is neither (a boolean above 1) makes no cell.
void TXLSReader::ReadBoolErr(Body& body) {
    const records::TBoolErrRecord r = records::DecodeBoolErr(body);
    const std::int32_t xf = ValidXF(r.Cell.XF) ? static_cast<std::int32_t>(r.Cell.XF) : -1;
    if (r.Error) {
        CurrentSheet().Cells().LoadError(r.Cell.Row, r.Cell.Col, r.Value, xf);
    } else if (r.Value <= 1) {
        CurrentSheet().Cells().LoadBoolean(r.Cell.Row, r.Cell.Col, r.Value == 1, xf);
    }
}

// The text result of the formula before it; its characters may go on in CONTINUE records.
void TXLSReader::ReadString(Body& body) {
    if (pendingRow_ < 0 || pendingCol_ < 0 || pendingXF_ < 0) {
        Consume();
        return;
    }
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

// A hyperlink on every cell of its range, within the budget of cells that areas may create.
void TXLSReader::ReadHLink(Body& body) {
    const THyperlink link = DecodeHyperlink(body.Rest());
    const std::uint64_t count = link.LastRow < link.FirstRow || link.LastCol < link.FirstCol
                                    ? 0
                                    : static_cast<std::uint64_t>(link.LastRow - link.FirstRow + 1) *
                                          (link.LastCol - link.FirstCol + 1);
    // A linked cell keeps its address twice, as the link and (when it had no value) as its
    // text: every 12 characters of address weigh about as much as one more cell.
    const std::uint64_t weight = 1 + link.Text.size() / 12;
    if (link.Text.empty() || count > areaCellBudget_ / weight) return;
    areaCellBudget_ -= count * weight;
    TCells& cells = CurrentSheet().Cells();
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
            cell.SetHyperlink(link.Text);
            if (known == linkedFormat.end()) linkedFormat.emplace(format, cell.XFIndex());
            cell.SetHyperlinkKind(link.Kind);
        }
    }
}

void TXLSReader::ReadDv(Body& body) {
    CurrentSheet().Validations().Add(ReadValidation(body, Parser(), options_.StrictFormulas,
                                                    static_cast<std::uint16_t>(sheetIndex_)));
}

}  // namespace vorlix

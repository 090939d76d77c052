#include "xls/read/ReadContext.h"

#include <algorithm>

#include "xls/format/TFormatStrings.h"
#include "xls/format/ValueFormatter.h"
#include "xls/formula/TPtgParser.h"
#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/FormatTables.h"
#include "xls/model/StringHelpers.h"
#include "xls/read/TBIFFStream.h"
#include "xls/read/records/GlobalsRecords.h"

namespace vorlix {

namespace {

// Merged areas and hyperlinks bring their cells into being, 8 bytes of record naming up to
// 16.7 million of them. What they may create in one read grows with the workbook stream:
// 256 Ki cells, plus one for every two bytes of the stream, at most one full sheet. A cell
// takes about 50 bytes, so opening a workbook of N bytes stays within 64 MB + 40 x N of
// memory; real workbooks stay far below it. An area beyond it keeps its rectangle and
// creates no cells.
constexpr std::uint64_t kAreaCellBase = 256ull * 1024;
constexpr std::uint64_t kAreaCellMost = 256ull * 65536;

std::uint64_t SizeOf(TBIFFStream& stream) {
    const std::int64_t size = stream.StreamSize();
    return size > 0 ? static_cast<std::uint64_t>(size) : 0;
}

}  // namespace

TSharedString ToSharedString(std::u16string text, bool wide, std::uint32_t codePage) {
    TSharedString out;
    out.Wide = wide;
    if (wide) {
        out.Text = std::move(text);
        return out;
    }
    // 8-bit characters are code points 0..255; the model keeps them in the workbook's code
    // page. Plain ASCII needs no conversion.
    bool ascii = true;
    for (char16_t c : text)
        ascii = ascii && c < 0x80;
    if (ascii) {
        out.Ansi.assign(text.begin(), text.end());
    } else {
        out.Ansi = WideToAnsi(codePage, text);
    }
    return out;
}

TReadContext::TReadContext(TWorkbook& workbook, const TReadOptions& options,
                           const TFormulaSettings& formulaSettings, TBIFFStream& stream)
    : Workbook(workbook),
      Options(options),
      FormulaSettings(formulaSettings),
      Stream(stream),
      StreamBytes(SizeOf(stream)),
      AreaCellBudget(std::min(kAreaCellBase + StreamBytes / 2, kAreaCellMost)) {}

TReadContext::~TReadContext() = default;

bool TReadContext::InChart() const {
    for (const std::uint16_t type : Substreams) {
        if (type == records::TBofRecord::kChart) return true;
    }
    return false;
}

TSheet& TReadContext::CurrentSheet() {
    return Workbook.Sheets().Items(SheetIndex);
}

TPtgParser& TReadContext::Parser() {
    if (!parser_) {
        const TWorkbookSettings& settings = Workbook.Settings();
        const TFormulaTextStyle style{settings.ListSeparator, settings.Region().DecimalSeparator,
                                      settings.CodePage};
        parser_ = std::make_unique<TPtgParser>(Workbook.LinkTable(), FormulaSettings,
                                               TNumberText{&GeneralNumberText}, style);
    }
    return *parser_;
}

bool TReadContext::ValidXF(std::uint32_t xf) const {
    return xf < static_cast<std::uint32_t>(Workbook.XFTable().Count());
}

TReadContext::TNumberUse TReadContext::NumberUseOfXF(std::uint32_t xf) {
    if (xf >= numberUseOfXF_.size()) {
        numberUseOfXF_.resize(static_cast<std::size_t>(xf) + 1, TNumberUse::Unknown);
    }
    TNumberUse& use = numberUseOfXF_[xf];
    if (use == TNumberUse::Unknown) {
        const TFormatStrings& formats = Workbook.FormatTable();
        const int position =
            RecordGet16(Workbook.XFTable().RecordAt(static_cast<int>(xf)), xfrec::kNumberFormat);
        use = TNumberUse::Number;
        if (position >= 0 && position < formats.FormatCount()) {
            const TFormatEntry& entry = formats.Entry(position);
            TFormatKind kind = FormatKindOfIndex(entry.Index);
            if (kind == TFormatKind::None && !entry.Text.empty())
                kind = FormatKindOfText(entry.Text);
            if (kind == TFormatKind::Date) {
                use = FormatHasElapsedTime(entry.Text) ? TNumberUse::Duration
                      : FormatHasDate(entry.Text, Workbook.Settings().Region())
                          ? TNumberUse::DateTime
                          : TNumberUse::Time;
            }
        }
    }
    return use;
}

TCellValue TReadContext::ToDateTime(double serial, TNumberUse use) const {
    // A duration ("[h]:mm" of 1.5 days) is a count of days in either date system, and a
    // time of day ("h:mm" of 0.25) the fraction of a day: neither belongs to a date.
    if (use == TNumberUse::Duration) return TCellValue::Duration(serial);
    if (use == TNumberUse::Time && serial >= 0 && serial < 1) return TCellValue::TimeOfDay(serial);
    if (Workbook.DateMode == 1904) return TCellValue::DateTime(serial + 1462);
    // Serial 60 is the format's 29 February 1900, which never was: it becomes 1 March.
    double d = serial + 1;
    if (d > 61) d -= 1;
    return TCellValue::DateTime(d);
}

}  // namespace vorlix

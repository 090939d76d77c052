#include "xls/read/ReadContext.h"

#include <algorithm>

#include "xls/format/TFormatStrings.h"
#include "xls/format/ValueFormatter.h"
#include "xls/formula/TPtgParser.h"
#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/FormatTables.h"
#include "xls/model/StringHelpers.h"
#include "xls/read/TBIFFStream.h"
#include "xls/read/records/Biff5Formula.h"
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

TSharedString DecodedToSharedString(std::u16string text, std::uint32_t codePage) {
    bool wide = false;
    for (const char16_t c : text)
        wide = wide || c > 0xFF;
    return ToSharedString(std::move(text), wide, codePage);
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

bool TReadContext::TranslateFormula5(std::string_view tokens, std::string_view extra,
                                     std::string& tokensOut, std::string& extraOut) {
    records::TFormula5Context context;
    context.CodePage = TextCodePage;
    context.SheetRange = [this](std::int16_t externSheet, std::uint16_t first, std::uint16_t last) {
        return SheetRange5(externSheet, first, last);
    };
    return records::TranslateFormula5(tokens, extra, context, tokensOut, extraOut);
}

// A negative EXTERNSHEET index refers to the workbook itself, the sheets by their
// positions; a positive one to its EXTERNSHEET record, which may name a sheet of the
// workbook. References to other workbooks and to deleted sheets (position 0xFFFF) have
// no entry.
std::optional<std::uint16_t> TReadContext::SheetRange5(std::int16_t externSheet,
                                                       std::uint16_t first, std::uint16_t last) {
    constexpr std::uint16_t kDeleted = 0xFFFF;
    if (externSheet > 0) {
        const auto at = static_cast<std::size_t>(externSheet - 1);
        if (at >= ExternSheets5.size()) return std::nullopt;
        const records::TExternSheet5Record& entry = ExternSheets5[at];
        if (entry.Kind != records::TExternSheet5Record::kOwnSheet &&
            entry.Kind != records::TExternSheet5Record::kOwnSheetByName)
            return std::nullopt;
        const TSheet* sheet = Workbook.Sheets().Find(entry.Text);
        if (sheet == nullptr) return std::nullopt;
        first = last = static_cast<std::uint16_t>(sheet->Index());
    } else if (externSheet == 0 || first == kDeleted || last == kDeleted || first > last) {
        return std::nullopt;
    }
    const auto key = std::make_tuple(first, last);
    if (const auto it = sheetRanges5_.find(key); it != sheetRanges5_.end()) return it->second;
    TXLSLinkTable& links = Workbook.LinkTable();
    int own = 0;
    while (own < links.DocumentCount() && &links.Document(own) != &links.OwnDocument())
        ++own;
    if (own >= links.DocumentCount() || links.ExternSheetCount() >= 0xFFFF) return std::nullopt;
    std::string body(8, '\0');
    auto* b = reinterpret_cast<std::uint8_t*>(body.data());
    platform::Store16(b, 1);
    platform::Store16(b + 2, static_cast<std::uint16_t>(own));
    platform::Store16(b + 4, first);
    platform::Store16(b + 6, last);
    links.AddExternSheets(body);
    const auto index = static_cast<std::uint16_t>(links.ExternSheetCount() - 1);
    sheetRanges5_.emplace(key, index);
    return index;
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

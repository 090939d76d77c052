// Handlers of page setup (paper, scaling, margins, headers and footers, print options) and
// of the window settings and protection options of a sheet.
#include <string_view>

#include "xls/model/TPageSetup.h"
#include "xls/read/ReadContext.h"
#include "xls/read/RecordIds.h"
#include "xls/read/SheetReader.h"
#include "xls/read/records/SheetRecords.h"

namespace vorlix {

namespace {

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

void TSheetReader::ReadHeaderFooter(TRecordCursor& body, bool header) {
    const std::optional<std::u16string> text =
        context_.Biff5() ? std::optional(records::DecodeHeaderFooter5(body, context_.TextCodePage))
                         : records::DecodeHeaderFooter(body);
    if (!text) return;
    TPageSetup& setup = context_.CurrentSheet().PageSetup();
    Section(*text, u"&L", header ? setup.HeaderLeft : setup.FooterLeft);
    Section(*text, u"&C", header ? setup.HeaderCenter : setup.FooterCenter);
    Section(*text, u"&R", header ? setup.HeaderRight : setup.FooterRight);
}

void TSheetReader::ReadHeader(TRecordCursor& body) {
    ReadHeaderFooter(body, true);
}

void TSheetReader::ReadFooter(TRecordCursor& body) {
    ReadHeaderFooter(body, false);
}

void TSheetReader::ReadSetup(TRecordCursor& body) {
    using records::TSetupRecord;
    const TSetupRecord r = records::DecodeSetup(body);
    TPageSetup& setup = context_.CurrentSheet().PageSetup();
    setup.PaperSize = static_cast<std::uint8_t>(r.PaperSize);
    setup.Scale = r.Scale;
    setup.FirstPageNumber = r.FirstPageNumber;
    setup.FitWidth = r.FitWidth;
    setup.FitHeight = r.FitHeight;
    setup.LeftToRight = (r.Options & TSetupRecord::kLeftToRight) != 0;
    setup.Portrait = (r.Options & TSetupRecord::kPortrait) != 0;
    setup.BlackAndWhite = (r.Options & TSetupRecord::kBlackAndWhite) != 0;
    setup.Draft = (r.Options & TSetupRecord::kDraft) != 0;
    if ((r.Options & TSetupRecord::kUsePageNumber) == 0) setup.FirstPageNumber = -1;
    setup.HeaderMargin = r.HeaderMargin;
    setup.FooterMargin = r.FooterMargin;
}

void TSheetReader::ReadMargin(TRecordCursor& body) {
    const double inches = records::DecodeMargin(body);
    TPageSetup& setup = context_.CurrentSheet().PageSetup();
    switch (body.Id()) {
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
}

void TSheetReader::ReadPrintFlag(TRecordCursor& body) {
    const bool on = records::DecodePrintFlag(body);
    TPageSetup& setup = context_.CurrentSheet().PageSetup();
    switch (body.Id()) {
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
}

void TSheetReader::ReadWsBool(TRecordCursor& body) {
    using records::TWsBoolRecord;
    const std::uint16_t options = records::DecodeWord(body);
    TPageSetup& setup = context_.CurrentSheet().PageSetup();
    setup.SummaryRowsAbove = (options & TWsBoolRecord::kRowsBelow) == 0;
    setup.SummaryColumnsLeft = (options & TWsBoolRecord::kColumnsRight) == 0;
    setup.UseScale = (options & TWsBoolRecord::kFitToPage) == 0;
}

// Window and protection.

void TSheetReader::ReadWindow2(TRecordCursor& body) {
    using records::TWindow2Record;
    const std::uint16_t options = records::DecodeWord(body);
    TSheet& sheet = context_.CurrentSheet();
    sheet.ShowGridLines = (options & TWindow2Record::kGridLines) != 0;
    sheet.ShowHeaders = (options & TWindow2Record::kHeaders) != 0;
    sheet.ShowZeros = (options & TWindow2Record::kZeros) != 0;
    sheet.RightToLeft = (options & TWindow2Record::kRightToLeft) != 0;
    sheet.PageBreakPreview = (options & TWindow2Record::kPageBreakPreview) != 0;
}

void TSheetReader::ReadPane(TRecordCursor& body) {
    const records::TPaneRecord r = records::DecodePane(body);
    TSheet& sheet = context_.CurrentSheet();
    sheet.SplitColumns = static_cast<std::uint8_t>(r.Horizontal);
    sheet.SplitRows = r.Vertical;
}

void TSheetReader::ReadScl(TRecordCursor& body) {
    const records::TSclRecord r = records::DecodeScl(body);
    if (r.Denominator != 0) {
        context_.CurrentSheet().Zoom =
            static_cast<std::uint8_t>(std::uint32_t{r.Numerator} * 100 / r.Denominator);
    }
}

void TSheetReader::ReadFeatHdr(TRecordCursor& body) {
    if (const auto options = records::DecodeFeatHdrProtection(body)) {
        context_.CurrentSheet().ProtectionOptions = *options;
    }
}

}  // namespace vorlix

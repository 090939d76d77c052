#include "cli/DumpCommand.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "platform/CodePage.h"
#include "platform/Sha256.h"
#include "xls/format/TFormatStrings.h"
#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/DateTime.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/TCellComments.h"
#include "xls/model/TCellValidations.h"
#include "xls/model/TCells.h"
#include "xls/model/TPageSetup.h"
#include "xls/model/TRanges.h"
#include "xls/model/TRowCols.h"
#include "xls/model/TXLSFile.h"
#include "xls/write/TXLSWriterTXT.h"

namespace vorlix::cli {

namespace {

using json = nlohmann::ordered_json;

std::string Utf8(const std::u16string& text) {
    return platform::Utf16ToUtf8(text);
}

// 8-bit model texts are in their workbook's code page.
std::string Utf8(const std::string& text, std::uint32_t codePage) {
    return platform::Utf16ToUtf8(platform::MultiByteToWide(codePage, text));
}

json Number(double v) {
    return std::isfinite(v) ? json(v) : json(nullptr);
}

std::string IsoDate(double value) {
    const TDateTimeParts p = DecodeDateTime(value);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", p.Year, p.Month,
                  p.Day, p.Hour, p.Minute, p.Second, p.Millisecond);
    return buffer;
}

json Rect(const TRangeRect& r) {
    return json::array({r.FirstRow, r.LastRow, r.FirstCol, r.LastCol});
}

json Rects(const TRangeRects& rects) {
    json out = json::array();
    for (int i = 0; i < rects.RectCount(); ++i)
        out.push_back(Rect(rects.GetRect(i)));
    return out;
}

json Fonts(const TVirtualFontTable& fonts) {
    json out = json::array();
    for (int i = 0; i < fonts.Count(); ++i) {
        const std::string& r = fonts.RecordAt(i);
        const auto byte = [&](std::size_t at) {
            return static_cast<unsigned>(static_cast<unsigned char>(r[at]));
        };
        out.push_back({{"name", Utf8(TVirtualFontTable::GetFontName(r))},
                       {"size", static_cast<std::int16_t>(RecordGet16(r, fontrec::kSize16))},
                       {"bold", byte(fontrec::kBold) != 0},
                       {"italic", byte(fontrec::kItalic) != 0},
                       {"underline", byte(fontrec::kUnderline) != 0},
                       {"strikeOut", byte(fontrec::kStrikeOut) != 0},
                       {"underlineStyle", byte(fontrec::kUnderlineStyle)},
                       {"script", byte(fontrec::kScript)},
                       {"color", byte(fontrec::kColor)}});
    }
    return out;
}

json Xfs(const TVirtualXFTable& xfs) {
    json out = json::array();
    for (int i = 0; i < xfs.Count(); ++i) {
        const std::string& r = xfs.RecordAt(i);
        const auto byte = [&](std::size_t at) {
            return static_cast<unsigned>(static_cast<unsigned char>(r[at]));
        };
        json colors = json::array(), styles = json::array();
        for (std::size_t side = 0; side < 4; ++side) {
            colors.push_back(byte(xfrec::kBorderColor + side));
            styles.push_back(byte(xfrec::kBorderStyle + side));
        }
        out.push_back({{"font", RecordGet16(r, xfrec::kFont)},
                       {"format", RecordGet16(r, xfrec::kNumberFormat)},
                       {"hAlign", byte(xfrec::kHAlign)},
                       {"vAlign", byte(xfrec::kVAlign)},
                       {"rotation", byte(xfrec::kRotation)},
                       {"wrap", byte(xfrec::kWrap) != 0},
                       {"pattern", byte(xfrec::kPattern)},
                       {"patternColor", byte(xfrec::kPatternColor)},
                       {"fillColor", byte(xfrec::kFillColor)},
                       {"merged", byte(xfrec::kMerged) != 0},
                       {"indent", byte(xfrec::kIndent)},
                       {"borderColors", colors},
                       {"borderStyles", styles},
                       {"style", byte(xfrec::kStyleXF) != 0},
                       {"locked", byte(xfrec::kLocked) != 0}});
    }
    return out;
}

json Formats(const TFormatStrings& formats) {
    json out = json::array();
    for (int i = 0; i < formats.FormatCount(); ++i) {
        const TFormatEntry& e = formats.Entry(i);
        TFormatKind kind = FormatKindOfIndex(e.Index);
        if (kind == TFormatKind::None && !e.Text.empty()) kind = FormatKindOfText(e.Text);
        out.push_back({{"position", i},
                       {"index", e.Index},
                       {"text", Utf8(e.Text)},
                       {"kind", std::string(FormatKindName(kind))}});
    }
    return out;
}

json CellValue(const TCellValue& v, std::uint32_t codePage) {
    switch (v.Kind()) {
        case vkEmpty:
        case vkNull:
            return nullptr;
        case vkWideString:
            return Utf8(v.WideText());
        case vkString:
        case vkUString:
            return Utf8(v.AnsiText(), codePage);
        case vkBoolean:
            return v.AsBoolean();
        case vkError:
            return std::string(v.ErrorText());
        default:
            return Number(v.AsDouble());
    }
}

json Cells(const TSheet& sheet, const TFormatStrings& formats) {
    const std::uint32_t codePage = sheet.Workbook().Settings().CodePage;
    json out = json::array();
    const TCells& cells = sheet.Cells();
    for (int i = 0; i < cells.Count(); ++i) {
        const TCell cell = cells.Items(i);
        json c = {{"row", cell.Row()}, {"col", cell.Col()}};
        const TCellValue value = cell.Value();
        c["kind"] = static_cast<unsigned>(value.Kind());
        c["value"] = CellValue(value, codePage);
        if (value.Kind() == vkDate) {
            switch (value.DateTimeUse()) {
                case TDateTimeUse::TimeOfDay:
                    c["time"] = IsoDate(value.AsDouble()).substr(11);
                    break;
                case TDateTimeUse::Duration:
                    c["duration"] = RawValueText(value, codePage);
                    break;
                default:
                    c["date"] = IsoDate(value.AsDouble());
                    break;
            }
        }
        if (value.Kind() == vkError) c["errorCode"] = value.ErrorCode();
        c["display"] = Utf8(cell.DisplayText());
        c["xf"] = cell.XFIndex();
        const int position = cell.NumberFormat();
        json format = {{"position", position}};
        if (position >= 0 && position < formats.FormatCount()) {
            format["index"] = formats.Entry(position).Index;
            format["text"] = Utf8(formats.Entry(position).Text);
        }
        c["format"] = format;
        const std::string formula = cell.Formula();
        if (!formula.empty()) c["formula"] = Utf8(formula, codePage);
        const std::u16string link = cell.Hyperlink();
        if (!link.empty()) {
            c["hyperlink"] = Utf8(link);
            c["hyperlinkKind"] = cell.HyperlinkKind();
        }
        out.push_back(std::move(c));
    }
    return out;
}

template <typename Collection>
json Descriptors(const Collection& items) {
    json out = json::array();
    for (int i = 0; i < items.Count(); ++i) {
        const auto* d = items.Items(i);
        out.push_back({{"number", d->Number()},
                       {"size", Number(d->Size())},
                       {"pixels", d->PixelSize()},
                       {"hidden", d->Hidden()},
                       {"outline", d->OutlineLevel()},
                       {"customized", d->Customized()},
                       {"xf", d->XFIndex()}});
    }
    return out;
}

json Validations(const TCellValidations& validations, std::uint32_t codePage) {
    json out = json::array();
    for (int i = 0; i < validations.Count(); ++i) {
        const TCellValidation& v = validations.Items(i);
        out.push_back({{"type", v.Type},
                       {"operator", v.Operator},
                       {"errorStyle", v.ErrorStyle},
                       {"showInputMessage", v.ShowInputMessage},
                       {"showErrorMessage", v.ShowErrorMessage},
                       {"allowBlank", v.AllowBlank},
                       {"showDropDown", v.ShowDropDown},
                       {"promptTitle", Utf8(v.PromptTitle)},
                       {"prompt", Utf8(v.Prompt)},
                       {"errorTitle", Utf8(v.ErrorTitle)},
                       {"errorText", Utf8(v.ErrorText)},
                       {"formula1", Utf8(v.Formula1, codePage)},
                       {"formula2", Utf8(v.Formula2, codePage)},
                       {"areas", Rects(v.Areas)}});
    }
    return out;
}

// The workbook's defined names in record order: text, built-in code (0 for an ordinary
// name), the sheet of the first area (-1 none) and the areas.
json Names(const TXLSLinkTable& links) {
    json out = json::array();
    for (const auto& name : links.DefinedNames()) {
        out.push_back({{"name", Utf8(name->Name)},
                       {"builtIn", name->BuiltInCode},
                       {"sheet", name->Sheet},
                       {"areas", Rects(name->Areas)}});
    }
    return out;
}

// Pictures: where they sit (first cell, offsets in it and size, in pixels), their type in
// the picture store, and their bytes by count and SHA-256 digest.
json Images(const TXLSImages& images) {
    json out = json::array();
    for (int i = 0; i < images.Count(); ++i) {
        const TXLSImage& image = images.Items(i);
        const auto size = static_cast<std::size_t>(image.Data.Size());
        out.push_back({{"firstRow", image.FirstRow},
                       {"firstCol", image.FirstCol},
                       {"leftOffset", image.LeftOffset},
                       {"topOffset", image.TopOffset},
                       {"width", image.Width},
                       {"height", image.Height},
                       {"type", image.BlipType},
                       {"size", size},
                       {"sha256", platform::Sha256Hex(image.Data.Memory(), size)}});
    }
    return out;
}

json Comments(const TCellComments& comments, std::uint32_t codePage) {
    json out = json::array();
    for (int i = 0; i < comments.Count(); ++i) {
        const TCellComment& c = comments.Items(i);
        out.push_back({{"row", c.Row()},
                       {"col", c.Col()},
                       {"author", Utf8(c.Author())},
                       {"text", Utf8(c.Text())},
                       {"width", c.Width()},
                       {"height", c.Height()},
                       {"richText", Utf8(c.RichText(), codePage)}});
    }
    return out;
}

json PageSetup(const TPageSetup& p) {
    return {{"printArea", Rects(p.PrintArea)},
            {"titleFirstRow", p.TitleFirstRow},
            {"titleLastRow", p.TitleLastRow},
            {"titleFirstCol", p.TitleFirstCol},
            {"titleLastCol", p.TitleLastCol},
            {"paperSize", p.PaperSize},
            {"useScale", p.UseScale},
            {"scale", p.Scale},
            {"firstPageNumber", p.FirstPageNumber},
            {"fitWidth", p.FitWidth},
            {"fitHeight", p.FitHeight},
            {"leftToRight", p.LeftToRight},
            {"portrait", p.Portrait},
            {"headerMargin", Number(p.HeaderMargin)},
            {"footerMargin", Number(p.FooterMargin)},
            {"topMargin", Number(p.TopMargin)},
            {"bottomMargin", Number(p.BottomMargin)},
            {"leftMargin", Number(p.LeftMargin)},
            {"rightMargin", Number(p.RightMargin)},
            {"blackAndWhite", p.BlackAndWhite},
            {"draft", p.Draft},
            {"printGridLines", p.PrintGridLines},
            {"printHeadings", p.PrintHeadings},
            {"centerHorizontally", p.CenterHorizontally},
            {"centerVertically", p.CenterVertically},
            {"headerLeft", Utf8(p.HeaderLeft)},
            {"headerCenter", Utf8(p.HeaderCenter)},
            {"headerRight", Utf8(p.HeaderRight)},
            {"footerLeft", Utf8(p.FooterLeft)},
            {"footerCenter", Utf8(p.FooterCenter)},
            {"footerRight", Utf8(p.FooterRight)},
            {"summaryRowsAbove", p.SummaryRowsAbove},
            {"summaryColumnsLeft", p.SummaryColumnsLeft}};
}

json Sheet(const TSheet& sheet, const TFormatStrings& formats) {
    const std::uint32_t codePage = sheet.Workbook().Settings().CodePage;
    json ranges = json::array(), merged = json::array();
    for (int i = 0; i < sheet.Ranges().Count(); ++i) {
        const TRange& r = sheet.Ranges().Items(i);
        ranges.push_back({{"name", Utf8(r.Name())}, {"merged", r.Merged()}, {"rects", Rects(r)}});
        if (r.Merged()) {
            for (int k = 0; k < r.RectCount(); ++k)
                merged.push_back(Rect(r.GetRect(k)));
        }
    }
    return {{"name", Utf8(sheet.Name())},
            {"index", sheet.Index()},
            {"visible", sheet.Visible},
            {"passwordHash", sheet.PasswordHash},
            {"protectionOptions", sheet.ProtectionOptions},
            {"showGridLines", sheet.ShowGridLines},
            {"showHeaders", sheet.ShowHeaders},
            {"showZeros", sheet.ShowZeros},
            {"rightToLeft", sheet.RightToLeft},
            {"pageBreakPreview", sheet.PageBreakPreview},
            {"splitRows", sheet.SplitRows},
            {"splitColumns", sheet.SplitColumns},
            {"zoom", sheet.Zoom},
            {"cells", Cells(sheet, formats)},
            {"rows", Descriptors(sheet.Rows())},
            {"columns", Descriptors(sheet.Columns())},
            {"merged", merged},
            {"ranges", ranges},
            {"validations", Validations(sheet.Validations(), codePage)},
            {"images", Images(sheet.Images())},
            {"comments", Comments(sheet.Comments(), codePage)},
            {"pageSetup", PageSetup(sheet.PageSetup())}};
}

}  // namespace

int DumpWorkbook(const std::string& file, const std::string& password, std::ostream& out,
                 std::ostream& err, const TDumpOptions& options) {
    try {
        TXLSDocument document(platform::FileNameToUtf16(file));
        const std::uint8_t version = document.Version();
        TXLSFile xls;
        TReadOptions read = xls.ReadOptions();
        read.StrictFormulas = options.StrictFormulas;
        read.ReadDrawings = !options.NoDrawings;
        xls.SetReadOptions(read);
        xls.SetFormulaSettings(TFormulaSettings{options.AllFormulas});
        // A file that is no workbook fails here with the reader's own message.
        const std::int32_t protection = version != 0 ? document.Protection() : 0;
        xls.OpenDocument(document, platform::Utf8ToUtf16(password));
        TWorkbook& book = xls.Workbook();
        json sheets = json::array();
        for (int i = 0; i < book.Sheets().Count(); ++i) {
            sheets.push_back(Sheet(book.Sheets().Items(i), book.FormatTable()));
        }
        const json dump = {{"version", version},
                           {"format", FileFormatName(book.Format)},
                           {"encryption", EncryptionName(book.Encryption)},
                           {"warnings", book.Warnings},
                           {"protection", protection},
                           {"codePage", xls.CodePage()},
                           {"passwordHash", book.PasswordHash},
                           {"dateMode", book.DateMode},
                           {"fonts", Fonts(book.FontTable())},
                           {"xfs", Xfs(book.XFTable())},
                           {"formats", Formats(book.FormatTable())},
                           {"names", Names(book.LinkTable())},
                           {"sheets", sheets}};
        out << dump.dump(1, ' ', false, json::error_handler_t::replace) << '\n';
        return 0;
    } catch (const Exception& e) {
        err << e.what() << '\n';
        return 2;
    }
}

}  // namespace vorlix::cli

#include "xls/read/EarlyBiffReader.h"

#include <algorithm>

#include "platform/CodePage.h"
#include "xls/format/TFormatStrings.h"
#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/FormatTables.h"
#include "xls/model/TCells.h"
#include "xls/read/GlobalsReader.h"
#include "xls/read/ReadContext.h"
#include "xls/read/records/CellRecords.h"
#include "xls/read/records/GlobalsRecords.h"

namespace vorlix {

namespace {

constexpr std::uint16_t kWorkbookGlobals = 0x0100;  // BOF type of an Excel 4.0 workbook
constexpr std::uint16_t kNoFontFour = 3;            // font indexes above 3 skip the missing 4

// The code page of a CODEPAGE record as the platform knows it: 32768 is the Macintosh
// character set, 32769 the Windows one of the old versions.
std::uint32_t FileCodePage(std::uint16_t stored) {
    if (stored == 32768) return 10000;
    if (stored == 32769 || stored == 1200) return 1252;
    return platform::IsCodePageSupported(stored) ? stored : 1252;
}

records::TXfRecord ModelXf(const records::TEarlyXfRecord& xf) {
    records::TXfRecord r;
    r.Font = xf.Font;
    r.Format = static_cast<std::uint16_t>(TEarlyBiffReader::kFirstFormat + xf.Format);
    r.Locked = xf.Locked;
    r.StyleXF = xf.StyleXF;
    r.HAlign = xf.HAlign;
    r.Wrap = xf.Wrap;
    r.VAlign = xf.VAlign;
    r.Rotation = xf.Rotation;
    r.BorderStyles = xf.BorderStyles;
    r.BorderColors = xf.BorderColors;
    r.Pattern = xf.Pattern;
    r.PatternForeground = xf.PatternForeground;
    r.PatternBackground = xf.PatternBackground;
    return r;
}

}  // namespace

TEarlyBiffReader::TEarlyBiffReader(TReadContext& context) : context_(context) {}

// A worksheet file is one substream, the sheet and its own globals at once; an Excel 4.0
// workbook has a globals substream that names the sheets, then a substream per sheet.
void TEarlyBiffReader::ReadBof(TRecordCursor& body) {
    TReadContext& c = context_;
    const std::uint16_t type = records::DecodeBof(body).Type;
    c.Substreams.push_back(type);
    if (++c.Depth != 1) return;
    if (type == kWorkbookGlobals && !c.GlobalsDone) return;
    c.GlobalsDone = true;
    TSheets& sheets = c.Workbook.Sheets();
    while (sheets.Count() <= c.SheetIndex) {
        const std::u16string name =
            u"Sheet" + platform::Utf8ToUtf16(std::to_string(sheets.Count() + 1));
        sheets.Add(name);
        c.Workbook.LinkTable().AddSheetName(name);
    }
}

void TEarlyBiffReader::ReadBundleSheet(TRecordCursor& body) {
    const records::TBundleSheetRecord sheet = records::DecodeBundleSheet(body);
    const std::u16string name = platform::MultiByteToWide(codePage_, sheet.Name);
    TWorkbook& workbook = context_.Workbook;
    TSheet& added = workbook.Sheets().Items(workbook.Sheets().Add(name));
    workbook.LinkTable().AddSheetName(name);
    added.Visibility = static_cast<std::uint8_t>(sheet.Options & 0x03);
    if ((sheet.Options & 0x03) != 0) added.Visible = false;
}

void TEarlyBiffReader::ReadCodePage(TRecordCursor& body) {
    codePage_ = FileCodePage(body.U16());
}

bool TEarlyBiffReader::FormatTablesInUse() const {
    const TSheets& sheets = context_.Workbook.Sheets();
    for (int i = 0; i < sheets.Count(); ++i) {
        if (sheets.Items(i).Cells().Count() > 0) return true;
    }
    return false;
}

void TEarlyBiffReader::ReadFont(TRecordCursor& body) {
    const records::TEarlyFontRecord early =
        records::DecodeEarlyFont(body, body.Id() == rec::kFont2);
    if (FormatTablesInUse()) return;
    records::TFontRecord font;
    font.HeightTwips = early.HeightTwips;
    font.Options =
        early.Options & (records::TFontRecord::kItalic | records::TFontRecord::kStrikeOut);
    font.Color = early.Color;
    font.Weight = (early.Options & records::TEarlyFontRecord::kBold) != 0
                      ? records::TFontRecord::kBoldWeight
                      : 400;
    font.Underline = (early.Options & records::TEarlyFontRecord::kUnderline) != 0 ? 1 : 0;
    font.Name = platform::MultiByteToWide(codePage_, early.Name);
    TVirtualFontTable& fonts = context_.Workbook.FontTable();
    if (!fontsStarted_) {
        fonts.Clear();
        fontsStarted_ = true;
    }
    fonts.Reset();
    LoadFont(font, fonts);
    fonts.AppendBuffer();
}

void TEarlyBiffReader::ReadFormat(TRecordCursor& body) {
    const std::string_view text = records::DecodeEarlyFormat(body, body.Id() == rec::kFormat4);
    context_.Workbook.FormatTable().SetFormat(platform::MultiByteToWide(codePage_, text),
                                              static_cast<std::uint16_t>(kFirstFormat + formats_));
    ++formats_;
    context_.ForgetNumberUses();
}

std::int32_t TEarlyBiffReader::AppendXf(const records::TEarlyXfRecord& early) {
    TWorkbook& workbook = context_.Workbook;
    TVirtualXFTable& xfs = workbook.XFTable();
    if (!xfsStarted_) {
        xfs.Clear();
        xfsStarted_ = true;
    }
    xfs.Reset();
    LoadXf(ModelXf(early), xfs);
    std::string& buffer = xfs.EditBuffer();
    const std::uint16_t font = RecordGet16(buffer, xfrec::kFont);
    if (font > kNoFontFour) RecordSet16(buffer, xfrec::kFont, font - 1);
    const int position =
        workbook.FormatTable().FindFormat(RecordGet16(buffer, xfrec::kNumberFormat));
    RecordSet16(buffer, xfrec::kNumberFormat,
                static_cast<std::uint16_t>(position < 0 ? 0 : position));
    context_.ForgetNumberUses();
    return xfs.AppendBuffer();
}

void TEarlyBiffReader::ReadXf(TRecordCursor& body) {
    const records::TEarlyXfRecord xf = records::DecodeEarlyXf(body, body.Id() == rec::kXf2   ? 2
                                                                    : body.Id() == rec::kXf3 ? 3
                                                                                             : 4);
    if (FormatTablesInUse()) return;
    xfRecords_ = true;
    AppendXf(xf);
}

void TEarlyBiffReader::ReadIxfe(TRecordCursor& body) {
    ixfe_ = body.U16();
}

std::int32_t TEarlyBiffReader::CellXF(const records::TEarlyCell& cell) {
    std::uint32_t xf = cell.XF;
    if (cell.HasAttributes) {
        if (!xfRecords_) {
            const auto& b = cell.Attributes.Bytes;
            const std::uint32_t key = b[0] | (b[1] << 8) | (b[2] << 16);
            const auto known = attributeXfs_.find(key);
            if (known != attributeXfs_.end()) return known->second;
            // Only the first cells may still add to the tables.
            const std::int32_t made = AppendXf(records::XfOfAttributes(cell.Attributes));
            attributeXfs_.emplace(key, made);
            return made;
        }
        xf = cell.Attributes.XF();
        if (xf == records::TCellAttributes::kXfFromIxfe) xf = ixfe_;
    }
    return context_.ValidXF(xf) ? static_cast<std::int32_t>(xf) : -1;
}

// Plain ASCII stays 8-bit text; other characters are kept as UTF-16, whatever the code
// page of the model's 8-bit texts.
TSharedString TEarlyBiffReader::Text(std::string_view bytes) const {
    std::u16string text = platform::MultiByteToWide(codePage_, bytes);
    const bool ascii = std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; });
    return ToSharedString(std::move(text), !ascii, context_.Workbook.Settings().CodePage);
}

void TEarlyBiffReader::PutNumber(const records::TEarlyCell& cell, double value) {
    TCells& cells = context_.CurrentSheet().Cells();
    const std::int32_t xf = CellXF(cell);
    if (xf < 0) {
        cells.LoadNumber(cell.Row, cell.Col, vkDouble, value, -1);
        return;
    }
    const TReadContext::TNumberUse use = context_.NumberUseOfXF(static_cast<std::uint32_t>(xf));
    if (use == TReadContext::TNumberUse::Number) {
        cells.LoadNumber(cell.Row, cell.Col, vkDouble, value, xf);
    } else {
        const TCellValue date = context_.ToDateTime(value, use);
        cells.LoadDateTime(cell.Row, cell.Col, date.AsDouble(), date.DateTimeUse(), xf);
    }
}

// BLANK, INTEGER, NUMBER and BOOLERR of BIFF2 (the later versions' are read as theirs).
void TEarlyBiffReader::ReadBlank(TRecordCursor& body) {
    const records::TEarlyCell cell = records::DecodeEarlyCell(body, true);
    const std::int32_t xf = CellXF(cell);
    if (!context_.Options.ReadBlankCells || xf < 0 ||
        context_.Workbook.XFTable().IsPlainXF(static_cast<int>(xf)))
        return;
    TCell made = context_.CurrentSheet().Cells().GetCell(cell.Row, cell.Col);
    made.SetXFIndex(xf);
}

void TEarlyBiffReader::ReadInteger(TRecordCursor& body) {
    const records::TIntegerRecord r = records::DecodeInteger(body);
    PutNumber(r.Cell, r.Value);
}

void TEarlyBiffReader::ReadNumber(TRecordCursor& body) {
    const records::TEarlyCell cell = records::DecodeEarlyCell(body, true);
    PutNumber(cell, body.F64());
}

// Some BIFF2 files hold the LABEL of version 3 (an XF index, a 16-bit count): the id says
// which layout a record has.
void TEarlyBiffReader::ReadLabel(TRecordCursor& body) {
    const records::TEarlyLabelRecord r = records::DecodeEarlyLabel(body, body.Id() == rec::kLabel2);
    const TSharedString text = Text(r.Chars);
    const std::int32_t xf = CellXF(r.Cell);
    TCells& cells = context_.CurrentSheet().Cells();
    if (text.Wide) {
        cells.LoadText(r.Cell.Row, r.Cell.Col, std::u16string_view(text.Text), xf);
    } else {
        cells.LoadText(r.Cell.Row, r.Cell.Col, std::string_view(text.Ansi), xf);
    }
}

// A boolean or an error value; a value byte that is neither (a boolean above 1) makes no cell.
void TEarlyBiffReader::ReadBoolErr(TRecordCursor& body) {
    const records::TEarlyCell cell = records::DecodeEarlyCell(body, true);
    const std::uint8_t value = body.U8();
    const bool error = body.U8() != 0;
    const std::int32_t xf = CellXF(cell);
    if (error) {
        context_.CurrentSheet().Cells().LoadError(cell.Row, cell.Col, value, xf);
    } else if (value <= 1) {
        context_.CurrentSheet().Cells().LoadBoolean(cell.Row, cell.Col, value == 1, xf);
    }
}

// The cached result becomes the cell's value; a text result follows in a STRING record.
void TEarlyBiffReader::ReadFormula(TRecordCursor& body) {
    const records::TEarlyFormulaRecord r =
        records::DecodeEarlyFormula(body, body.Id() == rec::kFormula2);
    if (r.IsNumber()) {
        PutNumber(r.Cell, r.Number());
        return;
    }
    const std::int32_t xf = CellXF(r.Cell);
    TCells& cells = context_.CurrentSheet().Cells();
    switch (r.Result[0]) {
        case records::TFormulaRecord::kResultString:
            pendingRow_ = r.Cell.Row;
            pendingCol_ = r.Cell.Col;
            pendingXF_ = xf;
            break;
        case records::TFormulaRecord::kResultBoolean:
            cells.LoadBoolean(r.Cell.Row, r.Cell.Col, r.Result[2] == 1, xf);
            break;
        case records::TFormulaRecord::kResultError:
            cells.LoadError(r.Cell.Row, r.Cell.Col, r.Result[2], xf);
            break;
        default:
            break;
    }
}

void TEarlyBiffReader::ReadString(TRecordCursor& body) {
    if (pendingRow_ < 0 || pendingCol_ < 0) return;
    const TSharedString text = Text(records::DecodeEarlyString(body, body.Id() == rec::kString2));
    TCells& cells = context_.CurrentSheet().Cells();
    const auto row = static_cast<std::uint32_t>(pendingRow_);
    const auto col = static_cast<std::uint32_t>(pendingCol_);
    if (text.Wide) {
        cells.LoadText(row, col, std::u16string_view(text.Text), pendingXF_);
    } else {
        cells.LoadText(row, col, std::string_view(text.Ansi), pendingXF_);
    }
    pendingRow_ = pendingCol_ = pendingXF_ = -1;
}

}  // namespace vorlix

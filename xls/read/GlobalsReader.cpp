// Handlers of the workbook globals: substreams, sheets, shared strings, fonts, number
// formats, cell formats, palette, encryption and password. The link-table records are in
// ReaderLinks.cpp.
#include "xls/read/GlobalsReader.h"

#include "xls/format/TFormatStrings.h"
#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/Palette.h"
#include "xls/model/TCells.h"
#include "xls/model/TRowCols.h"
#include "xls/read/Decryption.h"
#include "xls/read/ReadContext.h"
#include "xls/read/TBIFFStream.h"
#include "xls/read/records/Biff5Records.h"
#include "xls/read/records/SheetRecords.h"

namespace vorlix {

namespace {

constexpr std::uint16_t kNoFontFour = 3;  // font indexes above 3 skip the missing 4
constexpr std::uint32_t kTwipsPerPoint = 20;

// Rounds twips / 20 to the nearest whole point, a half to the even neighbour.
std::uint16_t PointsFromTwips(std::uint32_t twips) {
    std::uint32_t points = twips / kTwipsPerPoint;
    const std::uint32_t rest = twips % kTwipsPerPoint;
    const std::uint32_t half = kTwipsPerPoint / 2;
    if (rest > half || (rest == half && points % 2 == 1)) ++points;
    return static_cast<std::uint16_t>(points);
}

void SetByte(std::string& record, std::size_t offset, std::uint32_t value) {
    record.at(offset) = static_cast<char>(value & 0xFF);
}

}  // namespace

void LoadFont(const records::TFontRecord& font, TVirtualFontTable& fonts) {
    using records::TFontRecord;
    std::string& r = fonts.EditBuffer();
    r = TVirtualFontTable::DefaultRecord();
    RecordSet16(r, fontrec::kSize16, PointsFromTwips(font.HeightTwips));
    SetByte(r, fontrec::kItalic, (font.Options & TFontRecord::kItalic) != 0);
    SetByte(r, fontrec::kStrikeOut, (font.Options & TFontRecord::kStrikeOut) != 0);
    SetByte(r, fontrec::kColor, PaletteIndexFromBIFF(font.Color));
    // Only the weight the format writes for "bold" counts; heavier weights do not.
    SetByte(r, fontrec::kBold, font.Weight == TFontRecord::kBoldWeight);
    SetByte(r, fontrec::kScript, font.Script);
    SetByte(r, fontrec::kUnderlineStyle, font.Underline);
    SetByte(r, fontrec::kUnderline, font.Underline != 0);
    TVirtualFontTable::SetFontName(r, font.Name);
}

void LoadXf(const records::TXfRecord& xf, TVirtualXFTable& xfs) {
    std::string& r = xfs.EditBuffer();
    r = TVirtualXFTable::DefaultRecord();  // every field is set below; this only fixes the size
    RecordSet16(r, xfrec::kFont, xf.Font);
    RecordSet16(r, xfrec::kNumberFormat, xf.Format);
    SetByte(r, xfrec::kLocked, xf.Locked);
    SetByte(r, xfrec::kStyleXF, xf.StyleXF);
    SetByte(r, xfrec::kHAlign, xf.HAlign);
    SetByte(r, xfrec::kWrap, xf.Wrap);
    SetByte(r, xfrec::kVAlign, xf.VAlign);
    SetByte(r, xfrec::kRotation, xf.Rotation);
    SetByte(r, xfrec::kMerged, 0);  // set later for the cells of merged areas
    SetByte(r, xfrec::kIndent, xf.Indent);
    for (std::size_t side = 0; side < 4; ++side) {
        SetByte(r, xfrec::kBorderStyle + side, xf.BorderStyles[side]);
        SetByte(r, xfrec::kBorderColor + side, PaletteIndexFromBIFF(xf.BorderColors[side]));
    }
    // The file keeps a pattern's foreground first and its background second. For a solid
    // fill the foreground is what covers the cell, so the model swaps them: its fill colour
    // is always the background a user sees.
    const std::uint8_t foreground = PaletteIndexFromBIFF(xf.PatternForeground);
    const std::uint8_t background = PaletteIndexFromBIFF(xf.PatternBackground);
    const bool solid = xf.Pattern == records::TXfRecord::kSolidPattern;
    SetByte(r, xfrec::kPattern, xf.Pattern);
    SetByte(r, xfrec::kFillColor, solid ? foreground : background);
    SetByte(r, xfrec::kPatternColor, solid ? background : foreground);
}

TGlobalsReader::TGlobalsReader(TReadContext& context, std::u16string password)
    : context_(context), password_(std::move(password)) {}

// The first top-level substream is the globals; the n-th one after it is sheet n, whatever
// kind of sheet it is. Nested substreams (charts in a sheet) do not move on.
void TGlobalsReader::ReadBof(TRecordCursor& body) {
    TReadContext& c = context_;
    const records::TBofRecord bof = records::DecodeBof(body);
    if (c.Substreams.empty() && !c.GlobalsDone) globalsBofVersion_ = bof.Version;
    // The first BOF, the globals', tells the layouts of every record after it.
    if (!formatKnown_) {
        formatKnown_ = true;
        c.Format = bof.Version == records::kBiff5Version ? TFileFormat::Biff5 : TFileFormat::Biff8;
        c.Workbook.Format = c.Format;
    }
    c.Substreams.push_back(bof.Type);
    if (++c.Depth == 0) {
        if (c.GlobalsDone) {
            ++c.SheetIndex;
        } else {
            c.GlobalsDone = true;
        }
    }
}

void TGlobalsReader::ReadEof(TRecordCursor&) {
    TReadContext& c = context_;
    if (!c.Substreams.empty()) c.Substreams.pop_back();
    if (--c.Depth == 0) {
        if (c.GlobalsDone) {
            ++c.SheetIndex;
        } else {
            c.GlobalsDone = true;
        }
    }
}

// A read of the whole stream takes the sheets in substream order; the stream position of
// the sheet's BOF serves the reads of one sheet at a time.
void TGlobalsReader::ReadBoundSheet(TRecordCursor& body) {
    const records::TBoundSheetRecord sheet =
        context_.Biff5() ? records::DecodeBoundSheet5(body, context_.TextCodePage)
                         : records::DecodeBoundSheet(body);
    TWorkbook& workbook = context_.Workbook;
    const int position = workbook.Sheets().Add(sheet.Name);
    workbook.LinkTable().AddSheetName(sheet.Name);
    TSheet& added = workbook.Sheets().Items(position);
    added.Visibility =
        static_cast<std::uint8_t>(sheet.Options & records::TBoundSheetRecord::kState);
    if ((sheet.Options & records::TBoundSheetRecord::kHidden) != 0) added.Visible = false;
    context_.SheetOffsets.push_back(sheet.Position);
}

void TGlobalsReader::ReadSst(TRecordCursor& body) {
    sstScratch_.clear();
    records::DecodeSst(body, sstScratch_);
    std::vector<TSharedString>& strings = context_.Strings;
    strings.reserve(strings.size() + sstScratch_.size());
    const std::uint32_t codePage = context_.Workbook.Settings().CodePage;
    for (records::TSstString& s : sstScratch_)
        strings.push_back(ToSharedString(std::move(s.Text), s.Wide, codePage));
}

// Fonts and XFs belong to the globals, before any cell. Once cells, rows or columns hold
// indexes into the two tables (hyperlinks add entries of their own), a record out of place
// is ignored rather than allowed to clear or renumber them. Before the globals end, data
// can only have gone to the first sheet.
bool TGlobalsReader::FormatTablesInUse() const {
    if (context_.GlobalsDone) return true;
    const TSheets& sheets = context_.Workbook.Sheets();
    if (sheets.Count() == 0) return false;
    const TSheet& sheet = sheets.Items(0);
    return sheet.Cells().Count() > 0 || sheet.Rows().Count() > 0 || sheet.Columns().Count() > 0;
}

void TGlobalsReader::ReadFont(TRecordCursor& body) {
    const records::TFontRecord font = context_.Biff5()
                                          ? records::DecodeFont5(body, context_.TextCodePage)
                                          : records::DecodeFont(body);
    if (FormatTablesInUse()) return;
    TVirtualFontTable& fonts = context_.Workbook.FontTable();
    if (!fontsStarted_) {
        fonts.Clear();
        fontsStarted_ = true;
    }
    fonts.Reset();
    LoadFont(font, fonts);
    fonts.AppendBuffer();
}

void TGlobalsReader::ReadFormat(TRecordCursor& body) {
    records::TFormatRecord format = context_.Biff5()
                                        ? records::DecodeFormat5(body, context_.TextCodePage)
                                        : records::DecodeFormat(body);
    context_.Workbook.FormatTable().SetFormat(format.Text, format.Index);
    context_.ForgetNumberUses();
}

void TGlobalsReader::ReadXf(TRecordCursor& body) {
    const records::TXfRecord xf =
        context_.Biff5() ? records::DecodeXf5(body) : records::DecodeXf(body);
    if (FormatTablesInUse()) return;
    TWorkbook& workbook = context_.Workbook;
    TVirtualXFTable& xfs = workbook.XFTable();
    if (!xfsStarted_) {
        xfs.Clear();
        xfsStarted_ = true;
    }
    xfs.Reset();
    LoadXf(xf, xfs);
    std::string& buffer = xfs.EditBuffer();
    const std::uint16_t font = RecordGet16(buffer, xfrec::kFont);
    if (font > kNoFontFour) RecordSet16(buffer, xfrec::kFont, font - 1);
    const int position =
        workbook.FormatTable().FindFormat(RecordGet16(buffer, xfrec::kNumberFormat));
    RecordSet16(buffer, xfrec::kNumberFormat,
                static_cast<std::uint16_t>(position < 0 ? 0 : position));
    xfs.AppendBuffer();
    context_.ForgetNumberUses();
}

// Colours from code 8 on, in order; the model's palette indexes start at 1.
void TGlobalsReader::ReadPalette(TRecordCursor& body) {
    const std::vector<std::uint32_t> colors = records::DecodePalette(body);
    for (std::size_t i = 0; i < colors.size() && i < static_cast<std::size_t>(kPaletteSize); ++i)
        SetPaletteColor(context_.Workbook.Settings().Palette, static_cast<int>(i + 1), colors[i]);
}

// The password is verified before anything is decrypted: the format's default password
// first (a workbook encrypted without a user password), then the one given.
void TGlobalsReader::ReadFilePass(TRecordCursor& body) {
    // Before BIFF8 the record holds the XOR key and verifier alone.
    constexpr std::uint16_t kBiff5Version = 0x0500;
    const bool typed =
        context_.Workbook.Format == TFileFormat::Biff8 && globalsBofVersion_ != kBiff5Version;
    const TFilePassScheme scheme = TFilePassScheme::Decode(body, typed);
    CheckPasswordLength(password_);
    std::unique_ptr<TStreamCipher> cipher = scheme.Open(kDefaultPassword);
    if (!cipher) cipher = scheme.Open(password_);
    if (!cipher) throw Exception("Error: file is protected, and password is invalid!");
    context_.Stream.StartDecryption(std::move(cipher));
    context_.Workbook.Encryption = scheme.Encryption();
}

void TGlobalsReader::ReadPassword(TRecordCursor& body) {
    const std::uint16_t hash = records::DecodeWord(body);
    if (context_.GlobalsDone) {
        context_.CurrentSheet().PasswordHash = hash;
    } else {
        context_.Workbook.PasswordHash = hash;
    }
}

// The code page of 8-bit texts. BIFF8 keeps its texts in UTF-16 or Latin 1 and says 1200.
void TGlobalsReader::ReadCodePage(TRecordCursor& body) {
    context_.TextCodePage = records::TextCodePage(records::DecodeWord(body));
}

// The 1904 date system counts from 1 January 1904; its serial 0 is 1462 days after the
// 1900 system's day 0.
void TGlobalsReader::ReadDateMode(TRecordCursor& body) {
    context_.Workbook.DateMode = records::DecodeWord(body) == 1 ? 1904 : 1900;
}

}  // namespace vorlix

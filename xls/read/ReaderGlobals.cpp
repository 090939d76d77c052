// Handlers of the workbook globals: substreams, sheets, shared strings, fonts, number
// formats, cell formats, palette, encryption and password.
#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/Palette.h"
#include "xls/model/TCells.h"
#include "xls/model/TRowCols.h"
#include "xls/read/Decryption.h"
#include "xls/read/RecordIds.h"
#include "xls/read/TBIFFStream.h"
#include "xls/read/TXLSReader.h"
#include "xls/read/records/GlobalsRecords.h"
#include "xls/read/records/SheetRecords.h"

namespace vorlix {

namespace {

// The option byte of a shared string.
constexpr std::uint8_t kStringWide = 0x01;
constexpr std::uint8_t kStringFarEast = 0x04;
constexpr std::uint8_t kStringRich = 0x08;
constexpr std::uint16_t kNoFontFour = 3;  // font indexes above 3 skip the missing 4

}  // namespace

// The first top-level substream is the globals; the n-th one after it is sheet n, whatever
// kind of sheet it is. Nested substreams (charts in a sheet) do not move on.
void TXLSReader::ReadBofEof(Body& body) {
    const bool bof = Record().Id == rec::kBof;
    if (bof) {
        substreams_.push_back(records::DecodeBof(body).Type);
    } else if (!substreams_.empty()) {
        substreams_.pop_back();
    }
    depth_ += bof ? 1 : -1;
    if (depth_ == 0) {
        if (globalsDone_) {
            ++sheetIndex_;
        } else {
            globalsDone_ = true;
        }
    }
}

// The stream position of the sheet's BOF is not used: sheets follow in substream order.
void TXLSReader::ReadBoundSheet(Body& body) {
    const records::TBoundSheetRecord sheet = records::DecodeBoundSheet(body);
    const int position = workbook_.Sheets().Add(sheet.Name);
    workbook_.LinkTable().AddSheetName(sheet.Name);
    TSheet& added = workbook_.Sheets().Items(position);
    added.Visibility =
        static_cast<std::uint8_t>(sheet.Options & records::TBoundSheetRecord::kState);
    if ((sheet.Options & records::TBoundSheetRecord::kHidden) != 0) added.Visible = false;
}

// The shared strings: total and unique counts (not trusted), then strings to the end of the
// record and its CONTINUE records. A string's header, characters, formatting runs and
// far-east data may each be cut by a CONTINUE; a CONTINUE that goes on with characters
// starts with their width again.
void TXLSReader::ReadSst(Body& body) {
    // `body` is the reader's cursor, which PeekContinue moves on to each CONTINUE.
    body.Skip(8);
    for (;;) {
        if (body.Remaining() < 2 && !PeekContinue()) return;
        const std::uint16_t count = body.U16();
        if (body.AtEnd() && !PeekContinue()) return;
        const std::uint8_t options = body.U8();
        std::uint32_t runs = 0;
        std::uint32_t farEast = 0;
        if ((options & kStringRich) != 0) {
            if (body.AtEnd() && !PeekContinue()) return;
            runs = body.U16();
        }
        if ((options & kStringFarEast) != 0) {
            if (body.AtEnd() && !PeekContinue()) return;
            farEast = body.U32();
        }
        SharedString text;
        const bool complete = ReadContinuedChars(count, (options & kStringWide) != 0, text);
        stringTable_.push_back(std::move(text));
        if (!complete) return;
        // Formatting runs and far-east data are not kept.
        if (!SkipContinued(4 * runs) || !SkipContinued(farEast)) return;
    }
}

// Fonts and XFs belong to the globals, before any cell. Once cells, rows or columns hold
// indexes into the two tables (hyperlinks add entries of their own), a record out of place
// is ignored rather than allowed to clear or renumber them. Before the globals end, data
// can only have gone to the first sheet.
bool TXLSReader::FormatTablesInUse() const {
    if (globalsDone_) return true;
    const TSheets& sheets = workbook_.Sheets();
    if (sheets.Count() == 0) return false;
    const TSheet& sheet = sheets.Items(0);
    return sheet.Cells().Count() > 0 || sheet.Rows().Count() > 0 || sheet.Columns().Count() > 0;
}

void TXLSReader::ReadFont(Body& body) {
    if (FormatTablesInUse()) return;
    TVirtualFontTable& fonts = workbook_.FontTable();
    if (!fontsStarted_) {
        fonts.Clear();
        fontsStarted_ = true;
    }
    fonts.Reset();
    fonts.DecodeFontRecord(body.Rest());
    fonts.AppendBuffer();
}

void TXLSReader::ReadFormat(Body& body) {
    records::TFormatRecord format = records::DecodeFormat(body);
    workbook_.FormatTable().SetFormat(format.Text, format.Index);
    numberUseOfXF_.clear();
}

void TXLSReader::ReadXf(Body& body) {
    if (FormatTablesInUse()) return;
    TVirtualXFTable& xfs = workbook_.XFTable();
    if (!xfsStarted_) {
        xfs.Clear();
        xfsStarted_ = true;
    }
    xfs.Reset();
    xfs.DecodeXFRecord(body.Rest());
    std::string& buffer = xfs.EditBuffer();
    const std::uint16_t font = RecordGet16(buffer, xfrec::kFont);
    if (font > kNoFontFour) RecordSet16(buffer, xfrec::kFont, font - 1);
    const int position =
        workbook_.FormatTable().FindFormat(RecordGet16(buffer, xfrec::kNumberFormat));
    RecordSet16(buffer, xfrec::kNumberFormat,
                static_cast<std::uint16_t>(position < 0 ? 0 : position));
    xfs.AppendBuffer();
    numberUseOfXF_.clear();
}

// Colours from code 8 on, in order; the model's palette indexes start at 1.
void TXLSReader::ReadPalette(Body& body) {
    const std::vector<std::uint32_t> colors = records::DecodePalette(body);
    for (std::size_t i = 0; i < colors.size() && i < static_cast<std::size_t>(kPaletteSize); ++i)
        SetPaletteColor(static_cast<int>(i + 1), colors[i]);
}

void TXLSReader::ReadFilePass(Body& body) {
    const TFilePass filePass = DecodeFilePass(body);
    if (filePass.EncryptionType != 1) {
        throw Exception("Error: data is protected, and this encryption type not supported.");
    }
    if (filePass.MinorVersion != 1) throw Exception("Error: strong encryption not supported.");
    KeyMaterial key{};
    if (!VerifyPassword(password_, filePass, key) &&
        !VerifyPassword(kDefaultPassword, filePass, key)) {
        throw Exception("Error: file is protected, and password is invalid!");
    }
    stream_->StartDecryption(key);
}

void TXLSReader::ReadPassword(Body& body) {
    const std::uint16_t hash = records::DecodeWord(body);
    if (globalsDone_) {
        CurrentSheet().PasswordHash = hash;
    } else {
        workbook_.PasswordHash = hash;
    }
}

// The 1904 date system counts from 1 January 1904; its serial 0 is 1462 days after the
// 1900 system's day 0.
void TXLSReader::ReadDateMode(Body& body) {
    workbook_.DateMode = records::DecodeWord(body) == 1 ? 1904 : 1900;
}

}  // namespace vorlix

// Handlers of the workbook globals: substreams, sheets, shared strings, fonts, number
// formats, cell formats, palette, link-table records, encryption and password.
#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/Palette.h"
#include "xls/read/BodyReader.h"
#include "xls/read/Decryption.h"
#include "xls/read/RecordIds.h"
#include "xls/read/TBIFFStream.h"
#include "xls/read/TXLSReader.h"

namespace vorlix {

namespace {

constexpr std::uint16_t kSheetHidden = 0x0001;
constexpr std::uint8_t kStringWide = 0x01;
constexpr std::uint8_t kStringFarEast = 0x04;
constexpr std::uint8_t kStringRich = 0x08;
constexpr std::uint16_t kNoFontFour = 3;  // font indexes above 3 skip the missing 4

std::string WholeBody(TEasyStream& body) {
    return std::string(reinterpret_cast<const char*>(body.Memory()),
                       static_cast<std::size_t>(body.Size()));
}

std::string_view BodyView(TEasyStream& body) {
    return std::string_view(reinterpret_cast<const char*>(body.Memory()),
                            static_cast<std::size_t>(body.Size()));
}

}  // namespace

// The first top-level substream is the globals; the n-th one after it is sheet n, whatever
// kind of sheet it is. Nested substreams (charts in a sheet) do not move on.
void TXLSReader::ReadBofEof() {
    if (Record().Id == rec::kBof) {
        BodyReader body(Record().Data);
        body.Skip(2);  // version
        substreams_.push_back(body.U16());
    } else if (!substreams_.empty()) {
        substreams_.pop_back();
    }
    depth_ += Record().Id == rec::kBof ? 1 : -1;
    if (depth_ == 0) {
        if (globalsDone_) {
            ++sheetIndex_;
        } else {
            globalsDone_ = true;
        }
    }
    Consume();
}

void TXLSReader::ReadBoundSheet() {
    BodyReader body(Record().Data);
    body.Skip(4);  // stream position of the sheet's BOF: the substream order is used instead
    const std::uint16_t options = body.U16();
    const std::u16string name = body.Text8();
    const int position = workbook_.Sheets().Add(name);
    workbook_.LinkTable().AddSheetName(name);
    if ((options & kSheetHidden) != 0) workbook_.Sheets().Items(position).Visible = false;
    Consume();
}

void TXLSReader::ReadSst() {
    BodyReader(Record().Data).Skip(8);  // total and unique string counts: not trusted
    for (;;) {
        if (Record().Data.Remaining() < 2 && !PeekContinue()) return;
        const std::uint16_t count = BodyReader(Record().Data).U16();
        if (Record().Data.Remaining() == 0 && !PeekContinue()) return;
        const std::uint8_t options = BodyReader(Record().Data).U8();
        std::uint32_t runs = 0;
        std::uint32_t farEast = 0;
        if ((options & kStringRich) != 0) {
            if (Record().Data.Remaining() == 0 && !PeekContinue()) return;
            runs = BodyReader(Record().Data).U16();
        }
        if ((options & kStringFarEast) != 0) {
            if (Record().Data.Remaining() == 0 && !PeekContinue()) return;
            farEast = BodyReader(Record().Data).U32();
        }
        SharedString text;
        const bool complete = ReadContinuedChars(count, (options & kStringWide) != 0, text);
        stringTable_.push_back(std::move(text));
        if (!complete) return;
        // Formatting runs and far-east data are not kept.
        if (!SkipContinued(4 * runs) || !SkipContinued(farEast)) return;
    }
}

void TXLSReader::ReadFont() {
    TVirtualFontTable& fonts = workbook_.FontTable();
    if (!fontsStarted_) {
        fonts.Clear();
        fontsStarted_ = true;
    }
    fonts.Reset();
    fonts.DecodeFontRecord(BodyView(Record().Data));
    fonts.AppendBuffer();
    Consume();
}

void TXLSReader::ReadFormat() {
    BodyReader body(Record().Data);
    const std::uint16_t index = body.U16();
    workbook_.FormatTable().SetFormat(body.Text16(), index);
    numberUseOfXF_.clear();
    Consume();
}

void TXLSReader::ReadXf() {
    TVirtualXFTable& xfs = workbook_.XFTable();
    if (!xfsStarted_) {
        xfs.Clear();
        xfsStarted_ = true;
    }
    xfs.Reset();
    xfs.DecodeXFRecord(BodyView(Record().Data));
    std::string& buffer = xfs.EditBuffer();
    const std::uint16_t font = RecordGet16(buffer, xfrec::kFont);
    if (font > kNoFontFour) RecordSet16(buffer, xfrec::kFont, font - 1);
    const int position =
        workbook_.FormatTable().FindFormat(RecordGet16(buffer, xfrec::kNumberFormat));
    RecordSet16(buffer, xfrec::kNumberFormat,
                static_cast<std::uint16_t>(position < 0 ? 0 : position));
    xfs.AppendBuffer();
    numberUseOfXF_.clear();
    Consume();
}

void TXLSReader::ReadPalette() {
    BodyReader body(Record().Data);
    const std::uint16_t count = body.U16();
    for (int i = 1; i <= count && body.Remaining() >= 4; ++i) {
        const std::uint32_t color = body.U32();  // red in the low byte
        if (i <= kPaletteSize) SetPaletteColor(i, color);
    }
    Consume();
}

void TXLSReader::ReadFilePass() {
    const TFilePass filePass = vorlix::ReadFilePass(Record().Data);
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
    Consume();
}

void TXLSReader::ReadPassword() {
    const std::uint16_t hash = BodyReader(Record().Data).U16();
    if (globalsDone_) {
        CurrentSheet().PasswordHash = hash;
    } else {
        workbook_.PasswordHash = hash;
    }
    Consume();
}

// The 1904 date system counts from 1 January 1904; its serial 0 is 1462 days after the
// 1900 system's day 0.
void TXLSReader::ReadDateMode() {
    workbook_.DateMode = BodyReader(Record().Data).U16() == 1 ? 1904 : 1900;
    Consume();
}

void TXLSReader::ReadName() {
    workbook_.LinkTable().AddName(WholeBody(Record().Data));
    Consume();
}

void TXLSReader::ReadExternSheet() {
    workbook_.LinkTable().AddExternSheets(WholeBody(Record().Data));
    Consume();
}

void TXLSReader::ReadExternName() {
    workbook_.LinkTable().AddExternName(WholeBody(Record().Data));
    Consume();
}

void TXLSReader::ReadSupbook() {
    workbook_.LinkTable().AddSupbook(WholeBody(Record().Data));
    Consume();
}

}  // namespace vorlix

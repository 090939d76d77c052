#include "xls/read/records/Biff5Records.h"

#include "platform/CodePage.h"

namespace vorlix::records {

namespace {

constexpr std::uint32_t kUtf16 = 1200;
constexpr std::uint16_t kMacRomanAlias = 32768;
constexpr std::uint16_t kWindowsLatin1Alias = 32769;
constexpr std::uint16_t kUtf16Alias = 21010;
constexpr std::uint32_t kMacRoman = 10000;

constexpr std::size_t kNameFixedSize = 14;
constexpr std::uint16_t kNameBuiltIn = 0x0020;

void Put16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

}  // namespace

std::uint32_t TextCodePage(std::uint16_t codePageRecord) {
    switch (codePageRecord) {
        case kMacRomanAlias:
            return kMacRoman;
        case kWindowsLatin1Alias:
            return kDefaultTextCodePage;
        case kUtf16Alias:
        case kUtf16:
        case 0:
            return kDefaultTextCodePage;
        default:
            return codePageRecord;
    }
}

std::u16string Chars8In(TByteCursor& body, std::size_t count, std::uint32_t codePage) {
    if (!body.Has(count)) {
        body.Skip(count);  // to the end, short
        return {};
    }
    const std::string_view bytes = body.Bytes(count);
    // ASCII reads the same in every code page the format uses.
    bool ascii = true;
    for (const char c : bytes)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return std::u16string(bytes.begin(), bytes.end());
    return platform::MultiByteToWide(codePage, bytes);
}

std::u16string ShortString8(TByteCursor& body, std::uint32_t codePage) {
    return Chars8In(body, body.U8(), codePage);
}

std::u16string LongString8(TByteCursor& body, std::uint32_t codePage) {
    return Chars8In(body, body.U16(), codePage);
}

TBoundSheetRecord DecodeBoundSheet5(TByteCursor& body, std::uint32_t codePage) {
    TBoundSheetRecord r;
    r.Position = body.U32();
    r.Options = body.U16();
    r.Name = ShortString8(body, codePage);
    return r;
}

TFormatRecord DecodeFormat5(TByteCursor& body, std::uint32_t codePage) {
    TFormatRecord r;
    r.Index = body.U16();
    r.Text = ShortString8(body, codePage);
    return r;
}

TFontRecord DecodeFont5(TByteCursor& body, std::uint32_t codePage) {
    TFontRecord r;
    r.HeightTwips = body.U16();
    r.Options = body.U16();
    r.Color = body.U16();
    r.Weight = body.U16();
    r.Script = body.U16();
    r.Underline = body.U8();
    body.Skip(3);  // family, character set, reserved
    r.Name = ShortString8(body, codePage);
    return r;
}

TXfRecord DecodeXf5(TByteCursor& body) {
    TXfRecord r;
    r.Font = body.U16();
    r.Format = body.U16();
    const std::uint16_t protection = body.U16();
    r.Locked = (protection & 0x0001) != 0;
    r.StyleXF = (protection & 0x0004) != 0;
    const std::uint8_t alignment = body.U8();
    r.HAlign = alignment & 0x07;
    r.Wrap = (alignment & 0x08) != 0;
    r.VAlign = alignment >> 4 & 0x07;
    switch (body.U8() & 0x03) {  // orientation; the attributes used above it
        case 1:
            r.Rotation = 255;  // letters stacked
            break;
        case 2:
            r.Rotation = 90;  // turned to read upwards
            break;
        case 3:
            r.Rotation = 180;  // turned to read downwards
            break;
        default:
            break;
    }
    const std::uint32_t fillBottom = body.U32();
    r.PatternForeground = static_cast<std::uint8_t>(fillBottom & 0x7F);
    r.PatternBackground = static_cast<std::uint8_t>(fillBottom >> 7 & 0x7F);
    r.Pattern = static_cast<std::uint8_t>(fillBottom >> 16 & 0x3F);
    const std::uint32_t sides = body.U32();
    // Left, right, top, bottom, as the BIFF8 record lists them.
    r.BorderStyles = {static_cast<std::uint8_t>(sides >> 3 & 0x07),
                      static_cast<std::uint8_t>(sides >> 6 & 0x07),
                      static_cast<std::uint8_t>(sides & 0x07),
                      static_cast<std::uint8_t>(fillBottom >> 22 & 0x07)};
    r.BorderColors = {static_cast<std::uint8_t>(sides >> 16 & 0x7F),
                      static_cast<std::uint8_t>(sides >> 23 & 0x7F),
                      static_cast<std::uint8_t>(sides >> 9 & 0x7F),
                      static_cast<std::uint8_t>(fillBottom >> 25 & 0x7F)};
    return r;
}

TLabel5Record DecodeLabel5(TByteCursor& body, std::uint32_t codePage) {
    TLabel5Record r;
    r.Cell = DecodeCellAddress(body);
    r.Text = LongString8(body, codePage);
    return r;
}

std::u16string DecodeHeaderFooter5(TByteCursor& body, std::uint32_t codePage) {
    if (body.AtEnd()) return {};
    return ShortString8(body, codePage);
}

TName5Record DecodeName5(TByteCursor& body, std::uint32_t codePage) {
    TName5Record r;
    if (!body.Has(kNameFixedSize)) {
        body.Skip(kNameFixedSize);
        return r;
    }
    const std::uint16_t options = body.U16At(0);
    const std::size_t count = body.U8At(3);
    const std::size_t formula = body.U16At(4);
    r.Fixed = std::string(body.Bytes(kNameFixedSize));
    if ((options & kNameBuiltIn) != 0) {
        const std::string_view code = body.Bytes(count);
        r.Name = std::u16string(code.begin(), code.end());
        for (char16_t& c : r.Name)
            c = static_cast<unsigned char>(c);
    } else {
        r.Name = Chars8In(body, count, codePage);
    }
    r.Formula = body.Bytes(formula);
    if (body.Short()) r = {};
    return r;
}

std::string Name8Body(const TName5Record& name, std::string_view formula) {
    std::string out = name.Fixed;
    if (out.size() < kNameFixedSize) return {};
    if (formula.size() > 0xFFFF) formula = {};  // no room in the count: no definition
    bool wide = false;
    for (const char16_t c : name.Name)
        wide = wide || c > 0xFF;
    // The counts: characters of the name, bytes of the definition; the four string
    // lengths after it are 0, as those strings are left out.
    out[3] = static_cast<char>(name.Name.size() > 0xFF ? 0xFF : name.Name.size());
    out[4] = static_cast<char>(formula.size() & 0xFF);
    out[5] = static_cast<char>(formula.size() >> 8 & 0xFF);
    for (std::size_t i = 10; i < kNameFixedSize; ++i)
        out[i] = 0;
    out += static_cast<char>(wide ? 1 : 0);
    const std::size_t count = static_cast<unsigned char>(out[3]);
    for (std::size_t i = 0; i < count; ++i) {
        if (wide) {
            Put16(out, name.Name[i]);
        } else {
            out += static_cast<char>(name.Name[i]);
        }
    }
    out += formula;
    return out;
}

TExternSheet5Record DecodeExternSheet5(TByteCursor& body, std::uint32_t codePage) {
    TExternSheet5Record r;
    const std::size_t count = body.U8();
    if (count == 0) return r;
    r.Kind = body.U8();
    r.Text = Chars8In(body, count - 1, codePage);
    return r;
}

}  // namespace vorlix::records

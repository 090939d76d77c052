#include "fuzz/FuzzLinks.h"

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/CodePage.h"

namespace vorlix::fuzz {

namespace {

// Little-endian record bodies, field by field.
struct TBody {
    std::string bytes;
    TBody& u8(std::uint32_t v) {
        bytes += static_cast<char>(v & 0xFF);
        return *this;
    }
    TBody& u16(std::uint32_t v) { return u8(v).u8(v >> 8); }
    TBody& text(const std::string& s) {
        bytes += s;
        return *this;
    }
};

std::string ExternName(const std::string& name) {
    return TBody()
        .u16(0)  // option flags
        .u16(0)  // sheet
        .u16(0)  // reserved
        .u8(static_cast<std::uint32_t>(name.size()))
        .u8(0)  // 8-bit characters
        .text(name)
        .bytes;
}

std::string Name(std::uint16_t flags, const std::string& name, const std::string& definition) {
    return TBody()
        .u16(flags)
        .u8(0)  // keyboard shortcut
        .u8(static_cast<std::uint32_t>(name.size()))
        .u16(static_cast<std::uint32_t>(definition.size()))
        .text(std::string(8, '\0'))  // reserved, local sheet, text lengths
        .u8(0)                       // 8-bit characters
        .text(name)
        .text(definition)
        .bytes;
}

TXLSLinkTable* Build() {
    static TXLSLinkTable links;
    links.AddSupbook(TBody().u16(4).u8(0x01).u8(0x04).bytes);  // the workbook itself
    for (const char* sheet : {"Data", "Jan", "Feb", "Mar"})
        links.AddSheetName(platform::Utf8ToUtf16(sheet));
    links.AddSupbook(TBody()
                         .u16(1)   // sheet count
                         .u16(15)  // file name characters
                         .u8(0)    // 8-bit characters
                         .u8(0x01)
                         .u8(0x01)          // encoded path, volume
                         .text("Cdir")      // drive letter, folder
                         .u8(0x03)          // folder separator
                         .text("Book.xls")  // file
                         .u16(6)            // sheet name characters
                         .u8(0)             // 8-bit characters
                         .text("Sheet1")
                         .bytes);
    links.AddExternName(ExternName("Rate"));
    links.AddSupbook(TBody().u16(1).u8(0x01).u8(0x3A).bytes);  // add-in functions
    links.AddExternName(ExternName("EFFECT"));
    TBody sheets;
    sheets.u16(7);
    for (const auto& e : {std::initializer_list<std::uint16_t>{0, 0, 0},
                          {0, 1, 3},
                          {1, 0, 0},
                          {2, 0xFFFE, 0xFFFE},
                          {0, 0xFFFF, 0xFFFF},
                          {0, 0xFFFE, 0xFFFE},
                          {0, 1, 1}})
        for (const std::uint16_t v : e)
            sheets.u16(v);
    links.AddExternSheets(sheets.bytes);
    // A 3-D area Data!$A$1:$B$4 as the first name's definition.
    const std::string area = TBody().u8(0x3B).u16(0).u16(0).u16(3).u16(0).u16(1).bytes;
    links.AddName(Name(0x0000, "Total", area));
    links.AddName(Name(0x0000, "My Total", ""));
    links.AddName(Name(0x0001, "Secret", ""));                  // hidden
    links.AddName(Name(0x0003, "_xlfn.IFERROR", ""));           // a hidden function's name
    links.AddName(Name(0x0020, std::string(1, '\x06'), area));  // the built-in print area
    return &links;
}

}  // namespace

const TXLSLinkTable& FuzzLinkTable() {
    static const TXLSLinkTable* links = Build();
    return *links;
}

}  // namespace vorlix::fuzz

#include "tests/support/WorkbookFixtures.h"

namespace vorlix::test {

namespace {}  // namespace

Bytes BofBody(std::uint16_t type) {
    return Body()
        .u16(0x0600)  // BIFF8
        .u16(type)
        .u16(0x0DBB)       // build
        .u16(0x07CC)       // year
        .u32(0x000100C1)   // history flags
        .u32(0x00000106);  // lowest version that saved the file
}

Bytes BoundSheetBody(const std::string& name, std::uint16_t options) {
    return Body()
        .u32(0)  // stream position of the sheet's BOF (not used by the reader)
        .u16(options)
        .u8(static_cast<std::uint32_t>(name.size()))  // characters
        .u8(0)                                        // 8-bit characters
        .ascii(name);
}

Bytes BoundSheetBodyWide(const std::u16string& name, std::uint16_t options) {
    return Body()
        .u32(0)  // stream position
        .u16(options)
        .u8(static_cast<std::uint32_t>(name.size()))  // characters
        .u8(1)                                        // 16-bit characters
        .utf16(name);
}

Bytes SstBody(const std::vector<std::string>& strings) {
    Body b;
    b.u32(static_cast<std::uint32_t>(strings.size()));  // total references
    b.u32(static_cast<std::uint32_t>(strings.size()));  // unique strings
    for (const std::string& s : strings) {
        b.u16(static_cast<std::uint32_t>(s.size()));  // characters
        b.u8(0);                                      // 8-bit, no runs, no far-east data
        b.ascii(s);
    }
    return b;
}

namespace {
const Bytes kStdLink = {0xD0, 0xC9, 0xEA, 0x79, 0xF9, 0xBA, 0xCE, 0x11,
                        0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B};
}  // namespace

const Bytes kUrlMoniker = {0xE0, 0xC9, 0xEA, 0x79, 0xF9, 0xBA, 0xCE, 0x11,
                           0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B};
const Bytes kFileMoniker = {0x03, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                            0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

Body HLinkHead(std::uint16_t firstRow, std::uint16_t lastRow, std::uint16_t firstCol,
               std::uint16_t lastCol, std::uint32_t flags) {
    Body b;
    b.u16(firstRow).u16(lastRow).u16(firstCol).u16(lastCol);
    b.bytes(kStdLink);
    b.u32(2);  // stream version
    b.u32(flags);
    return b;
}

Body& CountedChars(Body& b, const std::u16string& text) {
    return b.u32(static_cast<std::uint32_t>(text.size() + 1)).utf16(text).u16(0);
}

Bytes UrlLink(std::uint16_t r1, std::uint16_t r2, std::uint16_t c1, std::uint16_t c2,
              const std::u16string& url) {
    Body b = HLinkHead(r1, r2, c1, c2, kHasMoniker | kAbsolute);
    b.bytes(kUrlMoniker);
    b.u32(static_cast<std::uint32_t>(2 * (url.size() + 1)));  // bytes, zero included
    b.utf16(url).u16(0);
    return b;
}

Bytes FileLink(const std::string& shortPath, const std::u16string& longPath) {
    Body b = HLinkHead(0, 0, 0, 0, kHasMoniker);
    b.bytes(kFileMoniker);
    b.u16(0);                                                 // up-level count
    b.u32(static_cast<std::uint32_t>(shortPath.size() + 1));  // characters, zero included
    b.ascii(shortPath).u8(0);
    b.u16(0xDEAD).zeros(22);  // reserved
    if (longPath.empty()) {
        b.u32(0);  // no extended path
    } else {
        const auto bytes = static_cast<std::uint32_t>(2 * longPath.size());
        b.u32(bytes + 6);  // size of what follows
        b.u32(bytes);      // path bytes
        b.u16(3);          // key value
        b.utf16(longPath);
    }
    return b;
}

Bytes LocationLink(std::uint32_t flags, const std::u16string& location) {
    Body b = HLinkHead(0, 0, 0, 0, flags | kHasLocation);
    return CountedChars(b, location);
}

namespace {

// DV texts: 16-bit count, flag byte (bit 0: UTF-16), characters.
Body& DvText(Body& b, const std::string& text) {
    return b.u16(static_cast<std::uint32_t>(text.size())).u8(0).ascii(text);
}
Body& DvWideText(Body& b, const std::u16string& text) {
    return b.u16(static_cast<std::uint32_t>(text.size())).u8(1).utf16(text);
}

}  // namespace

Bytes DvBody(std::uint32_t options) {
    Body b;
    b.u32(options);
    DvText(b, "Title");               // prompt title
    DvText(b, std::string(1, '\0'));  // error title: one zero character, which is empty
    DvWideText(b, u"Pick ä");         // prompt
    b.u16(0);                         // error text: empty, nothing more
    b.u16(3).u16(0).u8(0x1E).u16(5);  // formula 1: ptgInt 5
    b.u16(0).u16(0);                  // formula 2: none
    b.u16(2);                         // areas
    b.u16(1).u16(5).u16(0).u16(0);    // A2:A6
    b.u16(2).u16(3).u16(4).u16(260);  // E3:?4, last column beyond 255
    return b;
}

void ExpectBodiesReadWhole(TXLSFile& file, const std::string& where) {
    file.SetOnRecord([then = file.OnRecord(), where](const TRecordReport& r) {
        if (r.Unread != 0) {
            ADD_FAILURE() << where << (where.empty() ? "" : ": ") << "record "
                          << rec::RecordName(r.Id) << " at " << r.Offset << " left " << r.Unread
                          << " of its " << r.Length << " bytes unread";
        }
        if (then) then(r);
    });
}

Bytes FontBody(std::uint16_t heightTwips, std::uint16_t options, std::uint16_t colorCode,
               std::uint16_t weight, const std::string& name) {
    return Body()
        .u16(heightTwips)
        .u16(options)  // 0x02 italic, 0x08 strike-out
        .u16(colorCode)
        .u16(weight)                                  // 400 normal, 700 bold
        .u16(0)                                       // script
        .u8(0)                                        // underline
        .u8(0)                                        // family
        .u8(0)                                        // character set
        .u8(0)                                        // reserved
        .u8(static_cast<std::uint32_t>(name.size()))  // name characters
        .u8(0)                                        // 8-bit characters
        .ascii(name);
}

Bytes XfBody(std::uint16_t font, std::uint16_t formatIndex) {
    return Body()
        .u16(font)
        .u16(formatIndex)
        .u16(0x0001)   // locked, cell XF, parent style 0
        .u16(0x0020)   // bottom aligned
        .u8(0)         // indent, shrink, direction
        .u8(0)         // used attributes
        .u16(0)        // border styles
        .u16(0)        // left and right border colours
        .u32(0)        // top and bottom border colours, diagonal, fill pattern
        .u16(0x20C0);  // fill colours: 64 and 65 (automatic)
}

Bytes FormatBody(std::uint16_t index, const std::string& text) {
    return Body()
        .u16(index)
        .u16(static_cast<std::uint32_t>(text.size()))  // characters
        .u8(0)                                         // 8-bit characters
        .ascii(text);
}

Bytes NumberBody(std::uint16_t row, std::uint16_t col, std::uint16_t xf, double value) {
    return Body().u16(row).u16(col).u16(xf).f64(value);
}

Bytes LabelSstBody(std::uint16_t row, std::uint16_t col, std::uint16_t xf, std::uint32_t index) {
    return Body().u16(row).u16(col).u16(xf).u32(index);
}

Bytes SelfSupbookBody(std::uint16_t sheetCount) {
    return Body()
        .u16(sheetCount)  // sheet count
        .u8(0x01)         // the workbook itself:
        .u8(0x04);        // 0x01 0x04
}

Bytes ExternSheetBody(const std::vector<std::array<std::uint16_t, 3>>& entries) {
    Body body;
    body.u16(static_cast<std::uint32_t>(entries.size()));  // entry count
    for (const auto& e : entries) {
        body.u16(e[0])   // document index
            .u16(e[1])   // first sheet
            .u16(e[2]);  // last sheet
    }
    return body;
}

Bytes NameBody(std::uint16_t flags, const std::string& chars, const Bytes& definition) {
    return Body()
        .u16(flags)                                          // option flags
        .u8(0)                                               // keyboard shortcut
        .u8(static_cast<std::uint32_t>(chars.size()))        // name characters
        .u16(static_cast<std::uint32_t>(definition.size()))  // definition size in bytes
        .zeros(8)                                            // reserved, local sheet, text lengths
        .u8(0)                                               // 8-bit characters
        .ascii(chars)                                        // name
        .bytes(definition);                                  // definition tokens
}

Bytes Area3d(std::uint16_t externSheet, std::uint16_t firstRow, std::uint16_t lastRow,
             std::uint16_t firstCol, std::uint16_t lastCol, std::uint8_t token) {
    return Body()
        .u8(token)         // 3-D area, any class
        .u16(externSheet)  // EXTERNSHEET index
        .u16(firstRow)     // first row
        .u16(lastRow)      // last row
        .u16(firstCol)     // first column with flags
        .u16(lastCol);     // last column with flags
}

BiffBuilder& AppendSubstream(BiffBuilder& b, std::uint16_t type, const RecordList& records) {
    b.Record(rec::kBof, BofBody(type));
    for (const auto& [id, body] : records)
        b.Record(id, body);
    return b.Record(rec::kEof, {});
}

BiffBuilder& AppendGlobals(BiffBuilder& b, const std::vector<std::string>& sheetNames,
                           const RecordList& records) {
    b.Record(rec::kBof, BofBody(kGlobalsSubstream));
    for (const std::string& name : sheetNames)
        b.Record(rec::kBoundSheet8, BoundSheetBody(name));
    for (const auto& [id, body] : records)
        b.Record(id, body);
    return b.Record(rec::kEof, {});
}

Bytes LabelCellBody(std::uint16_t row, std::uint16_t col, std::uint16_t xf,
                    const std::string& latin1) {
    return Body()
        .u16(row)
        .u16(col)
        .u16(xf)
        .u16(static_cast<std::uint32_t>(latin1.size()))  // characters
        .u8(0)                                           // 8-bit characters
        .ascii(latin1);
}

Bytes WideLabelCellBody(std::uint16_t row, std::uint16_t col, std::uint16_t xf,
                        const std::u16string& text) {
    return Body()
        .u16(row)
        .u16(col)
        .u16(xf)
        .u16(static_cast<std::uint32_t>(text.size()))  // characters
        .u8(1)                                         // 16-bit characters
        .utf16(text);
}

Bytes BoolErrBody(std::uint16_t row, std::uint16_t col, std::uint16_t xf, std::uint8_t value,
                  std::uint8_t isError) {
    return Body().u16(row).u16(col).u16(xf).u8(value).u8(isError);
}

Bytes BooleanCellBody(std::uint16_t row, std::uint16_t col, std::uint16_t xf, bool value) {
    return BoolErrBody(row, col, xf, value ? 1 : 0, 0);
}

Bytes BlankCellBody(std::uint16_t row, std::uint16_t col, std::uint16_t xf) {
    return Body().u16(row).u16(col).u16(xf);
}

Bytes ErrorFormulaBody(std::uint16_t row, std::uint16_t col, std::uint16_t xf, std::uint8_t code) {
    return Body()
        .u16(row)
        .u16(col)
        .u16(xf)
        .u8(2)  // result type: error
        .u8(0)
        .u8(code)  // the error code
        .u8(0)
        .u16(0)
        .u16(0xFFFF)  // a typed result, not a number
        .u16(0)       // options
        .u32(0)       // unused
        .u16(2)       // token bytes
        .u8(0x1C)     // ptgErr
        .u8(code);
}

Bytes ValuesWorkbookStream(bool date1904) {
    RecordList globals;
    if (date1904) globals.emplace_back(rec::kDate1904, Body().u16(1));
    for (int i = 0; i < 5; ++i)
        globals.emplace_back(rec::kFont, FontBody(200, 0, 0x7FFF, 400, "Arial"));
    globals.emplace_back(rec::kFormat, FormatBody(164, "h:mm:ss"));
    globals.emplace_back(rec::kFormat, FormatBody(165, "\\C\\O\\B\\ \\o\\n\\ @"));
    for (int i = 0; i < 16; ++i)
        globals.emplace_back(rec::kXf, XfBody(0, 0));  // 15: General
    for (const std::uint16_t format : {164, 46, 14, 165, 12})
        globals.emplace_back(rec::kXf, XfBody(0, format));  // 16 to 20
    const std::uint16_t general = 15, time = 16, duration = 17, date = 18, text = 19, fraction = 20;

    RecordList cells;
    const char* names[] = {"errors", "time", "duration", "date", "text", "fraction"};
    for (std::uint16_t c = 0; c < 6; ++c)
        cells.emplace_back(rec::kLabel, LabelCellBody(0, c, general, names[c]));
    cells.emplace_back(rec::kBoolErr, BoolErrBody(0, 6, general, 0x17, 1));  // #REF!
    cells.emplace_back(rec::kBoolErr, BoolErrBody(1, 0, general, 0x07, 1));  // #DIV/0!
    cells.emplace_back(rec::kNumber, NumberBody(1, 1, time, (6 * 60 + 34) / 1440.0));
    cells.emplace_back(rec::kNumber, NumberBody(1, 2, duration, (231 * 3600 + 610) / 86400.0));
    cells.emplace_back(rec::kNumber, NumberBody(1, 3, date, date1904 ? 5480 - 1462 : 5480));
    cells.emplace_back(rec::kLabel, LabelCellBody(1, 4, text, "pf1"));
    cells.emplace_back(rec::kNumber, NumberBody(1, 5, fraction, -0.25));
    cells.emplace_back(rec::kNumber, NumberBody(1, 6, general, 1));
    cells.emplace_back(rec::kFormula, ErrorFormulaBody(2, 0, general, 0x2A));  // #N/A
    cells.emplace_back(rec::kNumber, NumberBody(2, 1, time, 0));
    cells.emplace_back(rec::kNumber, NumberBody(2, 6, general, 2));
    cells.emplace_back(rec::kBoolErr, BoolErrBody(3, 0, general, 0x63, 1));
    cells.emplace_back(rec::kNumber, NumberBody(3, 6, general, 3));
    return WorkbookStream({{"Values", cells}}, globals);
}

Bytes WorkbookStream(const std::vector<SheetRecords>& sheets, const RecordList& globals) {
    BiffBuilder b;
    std::vector<std::string> names;
    for (const SheetRecords& sheet : sheets)
        names.push_back(sheet.name);
    AppendGlobals(b, names, globals);
    for (const SheetRecords& sheet : sheets)
        AppendSubstream(b, kWorksheetSubstream, sheet.records);
    return b.Build();
}

namespace {
Bytes DataSheetAfter(BiffBuilder& b) {
    b.Record(rec::kBoundSheet8, BoundSheetBody("Data")).Record(rec::kEof, {});
    AppendSubstream(b, kWorksheetSubstream, {{rec::kNumber, NumberBody(0, 0, 0, 1)}});
    return b.Build();
}
}  // namespace

Bytes EncryptedWorkbookStream(const std::u16string& password) {
    BiffBuilder b;
    b.Record(rec::kBof, BofBody(kGlobalsSubstream)).FilePass(password);
    return DataSheetAfter(b);
}

Bytes XorWorkbookStream(const std::string& password) {
    BiffBuilder b;
    b.Record(rec::kBof, BofBody(kGlobalsSubstream)).FilePassXor(password);
    return DataSheetAfter(b);
}

Bytes CryptoApiWorkbookStream(const std::u16string& password, std::uint32_t keyBits) {
    BiffBuilder b;
    b.Record(rec::kBof, BofBody(kGlobalsSubstream)).FilePassCryptoApi(password, keyBits);
    return DataSheetAfter(b);
}

Bytes UnsupportedEncryptionStream() {
    BiffBuilder b;
    b.Record(rec::kBof, BofBody(kGlobalsSubstream))
        .FilePassRaw(Body()
                         .u16(1)  // encryption type: RC4
                         .u16(4)  // version 4.2: the CryptoAPI
                         .u16(2)
                         .u32(0x04)  // flags
                         .u32(32)    // header size
                         .u32(0x04)
                         .u32(0)
                         .u32(0x660E)  // AES-128, which this format never uses
                         .u32(0x8004)  // SHA-1
                         .u32(128)
                         .zeros(12)
                         .u32(16)
                         .zeros(32)
                         .u32(20)
                         .zeros(20));
    return DataSheetAfter(b);
}

Bytes LateFilePassStream() {
    BiffBuilder b;
    b.Record(rec::kBof, BofBody(kGlobalsSubstream));
    for (int i = 0; i < 5; ++i)
        b.Record(rec::kInterfaceHdr, Body().u16(1200));  // code page
    b.FilePass(u"secret");
    return DataSheetAfter(b);
}

Bytes DamagedCompoundBytes() {
    constexpr std::size_t kSectorShift = 0x1E;  // 16-bit: 9 or 12
    Bytes bytes = CompoundBytes({{"Workbook", WorkbookStream({{"Sheet1", {}}})}});
    bytes[kSectorShift] = 7;
    return bytes;
}

std::filesystem::path FolderTest::Stream(const std::string& name, const Bytes& stream) {
    const std::filesystem::path path = dir / name;
    WriteWorkbook(path, stream);
    return path;
}

std::filesystem::path FolderTest::TextFile(const std::string& name) {
    const std::filesystem::path path = dir / name;
    WriteFile(path, Body().ascii("not a workbook"));
    return path;
}

std::string FolderTest::TextFileMessage(const std::string& name) const {
    return (dir / name).string() + " is a text file, not an Excel workbook";
}

std::string FolderTest::Content(const std::filesystem::path& file) {
    const Bytes bytes = ReadFile(file);
    return {bytes.begin(), bytes.end()};
}

namespace {

// `rows` rows of four numbers, then "needle" below them.
RecordList NumberRows(int rows) {
    RecordList records;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < 4; ++c) {
            records.emplace_back(rec::kNumber,
                                 NumberBody(static_cast<std::uint16_t>(r),
                                            static_cast<std::uint16_t>(c), 0, r * 10.0 + c));
        }
    }
    records.emplace_back(rec::kLabel,
                         LabelCellBody(static_cast<std::uint16_t>(rows), 1, 0, "needle"));
    return records;
}

}  // namespace

void FolderTest::MixedFolder(int rows, bool readError) {
    const RecordList second = {{rec::kLabel, LabelCellBody(0, 0, 0, "Needle")},
                               {rec::kNumber, NumberBody(1, 1, 0, 0.5)}};
    Stream("a.xls", WorkbookStream({{"Numbers", NumberRows(rows)}, {"Words", second}}));
    Stream("b-secret.xls", EncryptedWorkbookStream(u"secret"));
    TextFile("c-text.xls");
    WriteFile(dir / "d-damaged.xls", DamagedCompoundBytes());
    Stream("e.xls", WorkbookStream({{"Numbers", NumberRows(3 * rows)}, {"Empty", {}}}));
    if (readError) Stream("f-late.xls", LateFilePassStream());
    for (const char* name : {"report.v1.xls", "report.v2.xls", "report.xls"}) {
        Stream(name, WorkbookStream({{"S", {{rec::kLabel, LabelCellBody(0, 0, 0, name)}}},
                                     {"T", NumberRows(rows / 4)}}));
    }
    Stream("z.xls", WorkbookStream({{"S", {{rec::kLabel, LabelCellBody(2, 2, 0, "needle")}}}}));
}

std::map<std::string, std::string> FolderTest::Snapshot() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        files[entry.path().filename().string()] =
            entry.is_regular_file() ? Content(entry.path()) : "(not a regular file)";
    }
    return files;
}

void FolderTest::EmptyFolder() {
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        std::filesystem::remove_all(entry.path());
}

}  // namespace vorlix::test

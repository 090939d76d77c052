#include "xls/formula/TXLSLinkTable.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/ByteCursor.h"
#include "xls/model/Errors.h"
#include "xls/model/StringHelpers.h"

namespace vorlix {

namespace {

// Option flags of a NAME record that are parsed: an ordinary name and a built-in one. Every
// other combination (hidden, function, command, ...) keeps no text and no areas.
constexpr std::uint16_t kNameOrdinary = 0x0000;
constexpr std::uint16_t kNameBuiltIn = 0x0020;

// NAME record layout.
constexpr std::size_t kNameLengthOffset = 3;     // 8-bit character count
constexpr std::size_t kNameDefLengthOffset = 4;  // 16-bit definition size in bytes
constexpr std::size_t kNameSheetOffset = 8;      // 16-bit sheet of a sheet's own name, or 0
constexpr std::size_t kNameOptionOffset = 14;    // option byte of the characters
constexpr std::size_t kNameCharsOffset = 15;

// EXTERNNAME record layout.
constexpr std::size_t kExternNameSheetOffset = 2;
constexpr std::size_t kExternNameLengthOffset = 6;
constexpr std::size_t kExternNameOptionOffset = 7;
constexpr std::size_t kExternNameCharsOffset = 8;

constexpr std::size_t kExternSheetEntrySize = 6;

// Tokens of a name definition that the scan understands; the class variants (reference,
// value, array) share the layout.
constexpr std::uint8_t kTokenMemFunc = 0x29;  // followed by a 16-bit size
constexpr std::size_t kMemFuncHeaderSize = 3;
constexpr std::size_t kRef3dOperandSize = 6;    // sheet index, row, column
constexpr std::size_t kArea3dOperandSize = 10;  // sheet index, rows, columns

// A SUPBOOK whose rest is one of these two byte pairs names the workbook itself or the
// add-in functions; any other rest is an external document.
constexpr std::string_view kSupbookSelf("\x01\x04", 2);
constexpr std::string_view kSupbookAddIn("\x01\x3A", 2);

// Codes inside an encoded file name.
constexpr char16_t kEncodedMark = 0x01;  // leads the name; inside it, a volume follows
constexpr char16_t kEncodedSameVolume = 0x02;
constexpr char16_t kEncodedDirSeparator = 0x03;
constexpr char16_t kEncodedUncVolume = u'@';  // after 0x01: a network path
constexpr char16_t kEncodedParentDir = 0x04;
// A volume of its own length (a URL): 0x05, the character count as a character, the name.
constexpr char16_t kEncodedLongVolume = 0x05;
// The program's startup, alternate startup and library folders, which stand for no text.
constexpr char16_t kEncodedFirstProgramDir = 0x06;
constexpr char16_t kEncodedLastProgramDir = 0x08;

constexpr std::array<std::u16string_view, 14> kBuiltInNames = {
    u"Consolidate_Area", u"Auto_Open",       u"Auto_Close",   u"Extract",         u"Database",
    u"Criteria",         u"Print_Area",      u"Print_Titles", u"Recorder",        u"Data_From",
    u"Auto_Activate",    u"Auto_Deactivate", u"Sheet_Title",  u"_FilterDatabase",
};

using platform::TByteCursor;

// Fields at fixed offsets of a record body are read with the cursor's offset reads, which
// give 0 for a number the body does not hold whole: a short body behaves like one padded
// with zero bytes.

// Whether `len` bytes at `off` are inside the body.
bool Holds(const TByteCursor& in, std::size_t off, std::size_t len) {
    return off <= in.Size() && len <= in.Size() - off;
}

// `count` characters at `off`: 16-bit when `wide`, otherwise 8-bit "compressed" characters,
// each byte the code point 0..255. Nothing when they run past the end.
std::optional<std::u16string> CharsAt(TByteCursor& in, std::size_t off, std::size_t count,
                                      bool wide) {
    if (!Holds(in, off, wide ? 2 * count : count)) return std::nullopt;
    in.Seek(off);
    return in.Chars(count, wide);
}

// The option byte of a string's characters: exactly 1 marks 16-bit characters.
bool IsWide(std::uint8_t option) {
    return option == 1;
}

// A string with a 16-bit character count and an option byte in front, as SUPBOOK stores
// its file name and sheet names. Advances `pos` only when the whole string is inside.
struct CountedString {
    std::u16string text;
    bool eightBit = true;
};

std::optional<CountedString> ReadCountedString(TByteCursor& in, std::size_t& pos) {
    if (!Holds(in, pos, 3)) return std::nullopt;
    const std::uint16_t count = in.U16At(pos);
    const bool wide = IsWide(in.U8At(pos + 2));
    auto text = CharsAt(in, pos + 3, count, wide);
    if (!text) return std::nullopt;
    pos += 3 + (wide ? 2 * std::size_t{count} : count);
    return CountedString{std::move(*text), !wide};
}

void AddUniqueSheetName(TAnsiStringList& names, std::u16string_view name, std::uint32_t codePage) {
    std::string ansi = WideToAnsi(codePage, name);
    if (names.IndexOf(ansi) < 0) names.Add(std::move(ansi));
}

std::size_t OperandSize(std::uint8_t token) {
    switch (token) {
        case 0x3A:
        case 0x5A:
        case 0x7A:
            return kRef3dOperandSize;
        case 0x3B:
        case 0x5B:
        case 0x7B:
            return kArea3dOperandSize;
        default:
            return 0;
    }
}

[[noreturn]] void ThrowLinkTableError() {
    throw EXLSError(xeLinkTable);
}

void ScanDefinition(std::string_view def, const std::vector<TExternSheet>& externSheets,
                    TXLSLinkName& name) {
    // Only a leading run of 3-D references and areas is taken: the cell areas a print
    // area, print titles or a named range cover. Any other token ends the scan.
    TByteCursor in(def);
    std::size_t pos = !def.empty() && in.U8At(0) == kTokenMemFunc ? kMemFuncHeaderSize : 0;
    while (pos < def.size()) {
        const std::uint8_t token = in.U8At(pos);
        const std::size_t size = OperandSize(token);
        const std::size_t op = pos + 1;
        if (size == 0 || !Holds(in, op, size)) break;

        const std::uint16_t index = in.U16At(op);
        if (index >= externSheets.size()) ThrowLinkTableError();
        if (name.Sheet == -1) {
            name.Sheet = static_cast<std::int16_t>(externSheets[index].FirstSheet);
        }

        if (size == kRef3dOperandSize) {
            const std::uint16_t row = in.U16At(op + 2);
            const std::uint8_t col = in.U8At(op + 4);
            name.Areas.AddRect(row, row, col, col);
        } else {
            name.Areas.AddRect(in.U16At(op + 2), in.U16At(op + 4), in.U8At(op + 6),
                               in.U8At(op + 8));
        }
        pos = op + size;
    }
}

}  // namespace

std::u16string BuiltInNameText(std::uint8_t storedCode) {
    if (storedCode < 1 || storedCode > kBuiltInNames.size()) return {};
    return std::u16string(kBuiltInNames[storedCode - 1]);
}

TXLSLinkTable::TXLSLinkTable(std::uint32_t codePage) : codePage_(codePage) {
    Clear();
}

const TXLSLinkDocument& TXLSLinkTable::Document(int index) const {
    if (index < 0 || index >= DocumentCount()) throw EListError(index);
    return *documents_[static_cast<std::size_t>(index)];
}

const TExternSheet& TXLSLinkTable::ExternSheet(int index) const {
    if (index < 0 || index >= ExternSheetCount()) throw EListError(index);
    return externSheets_[static_cast<std::size_t>(index)];
}

void TXLSLinkTable::AddSupbook(const std::string& body) {
    // Bytes 0-1 hold the document's sheet count, which the sheet names make redundant.
    const std::string_view rest =
        body.size() >= 2 ? std::string_view(body).substr(2) : std::string_view();

    if (rest == kSupbookSelf) {
        // The own document takes the place of its SUPBOOK, so that documents stand in
        // record order and EXTERNSHEET document indexes reach the right one.
        for (auto it = documents_.begin(); it != documents_.end(); ++it) {
            if (it->get() == own_) {
                auto own = std::move(*it);
                documents_.erase(it);
                documents_.push_back(std::move(own));
                break;
            }
        }
        return;
    }

    auto doc = std::make_unique<TXLSLinkDocument>();
    doc->Record = body;
    if (rest == kSupbookAddIn) {
        doc->AddIn = true;
        documents_.push_back(std::move(doc));
        return;
    }

    // An external document: its file name, then its sheet names up to the end. A string
    // that runs past the end leaves the file name empty and ends the sheet names.
    TByteCursor in(rest);
    std::size_t pos = 0;
    if (auto file = ReadCountedString(in, pos)) {
        doc->FileName = DecodeFileName(file->text, file->eightBit);
        while (pos < in.Size()) {
            auto sheet = ReadCountedString(in, pos);
            if (!sheet) break;
            AddUniqueSheetName(doc->SheetNames, sheet->text, codePage_);
        }
    }
    documents_.push_back(std::move(doc));
}

std::u16string TXLSLinkTable::DecodeFileName(const std::u16string& stored, bool eightBit) {
    if (stored.find_first_not_of(u' ') == std::u16string::npos) return {};

    if (stored.front() != kEncodedMark) {
        // A plain name; 8-bit DDE links separate application and topic with 0x03.
        if (!eightBit) return stored;
        std::u16string plain = stored;
        for (char16_t& ch : plain) {
            if (ch == kEncodedDirSeparator) ch = u'|';
        }
        return plain;
    }

    std::u16string path;
    path.reserve(stored.size() + 4);
    for (std::size_t i = 1; i < stored.size(); ++i) {
        const char16_t ch = stored[i];
        if (ch == kEncodedSameVolume || ch == kEncodedDirSeparator) {
            path += u'\\';
        } else if (ch == kEncodedMark) {
            // A volume: "@" starts a network path, any other character is a drive letter.
            // A mark with nothing after it names no volume and is dropped.
            if (i + 1 >= stored.size()) break;
            const char16_t volume = stored[++i];
            if (volume == kEncodedUncVolume) {
                path += u"\\\\";
            } else {
                path += volume;
                path += u':';
                if (i + 1 < stored.size()) path += u'\\';
            }
        } else if (ch == kEncodedParentDir) {
            path += u"..\\";
        } else if (ch == kEncodedLongVolume) {
            if (i + 1 >= stored.size()) break;
            const std::size_t length = stored[++i];
            path += stored.substr(i + 1, length);
            i += std::min(length, stored.size() - i - 1);
        } else if (ch >= kEncodedFirstProgramDir && ch <= kEncodedLastProgramDir) {
            continue;
        } else {
            path += ch;
        }
    }
    if (!path.empty() && path.back() == u'\\') path.pop_back();
    return path;
}

void TXLSLinkTable::AddExternName(const std::string& body) {
    // External names belong to the document of the SUPBOOK before them, which cannot be
    // the own document alone.
    if (documents_.size() < 2) ThrowLinkTableError();

    TByteCursor in(body);
    auto name = std::make_unique<TXLSLinkName>();
    name->Record = body;
    name->Sheet = static_cast<std::int16_t>(in.U16At(kExternNameSheetOffset));
    const bool wide = IsWide(in.U8At(kExternNameOptionOffset));
    name->Name = CharsAt(in, kExternNameCharsOffset, in.U8At(kExternNameLengthOffset), wide)
                     .value_or(std::u16string());
    documents_.back()->Names.push_back(std::move(name));
}

void TXLSLinkTable::AddExternSheets(const std::string& body) {
    if (body.size() < 2) return;
    TByteCursor in(body);
    const std::size_t count = in.U16At(0);
    if ((body.size() - 2) / kExternSheetEntrySize < count) ThrowLinkTableError();

    externSheets_.reserve(externSheets_.size() + count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 2 + i * kExternSheetEntrySize;
        externSheets_.push_back({in.U16At(at), in.U16At(at + 2), in.U16At(at + 4)});
    }
}

int TXLSLinkTable::AddName(const std::string& body) {
    // The name is built aside and appended at the end: a link-table error leaves the table
    // as it was. Every other outcome appends, so a name's position is its record's order.
    TByteCursor in(body);
    auto name = std::make_unique<TXLSLinkName>();
    name->Record = body;

    const std::uint16_t flags = in.U16At(0);
    if (flags != kNameOrdinary && flags != kNameBuiltIn) {
        name->Sheet = 0;
    } else {
        const std::size_t count = in.U8At(kNameLengthOffset);
        const bool wide = IsWide(in.U8At(kNameOptionOffset));
        const std::size_t charBytes = wide ? 2 * count : count;
        const std::u16string chars =
            CharsAt(in, kNameCharsOffset, count, wide).value_or(std::u16string());

        name->Sheet = -1;
        if (flags == kNameBuiltIn) {
            // The single character is the built-in code; unknown codes keep no text.
            if (!chars.empty() && chars.front() < kBuiltInNames.size()) {
                name->BuiltInCode = static_cast<std::uint8_t>(chars.front() + 1);
            }
            name->Name = BuiltInNameText(name->BuiltInCode);
        } else {
            name->Name = chars;
        }

        // The definition follows the characters; a body cut short keeps what it holds.
        std::string_view def;
        if (Holds(in, kNameCharsOffset, charBytes)) {
            const std::size_t defOffset = kNameCharsOffset + charBytes;
            const std::size_t available = in.Size() - defOffset;
            const std::size_t length = in.U16At(kNameDefLengthOffset);
            def = std::string_view(body).substr(defOffset, length < available ? length : available);
        }
        ScanDefinition(def, externSheets_, *name);
    }

    own_->Names.push_back(std::move(name));
    return static_cast<int>(own_->Names.size()) - 1;
}

void TXLSLinkTable::AddSheetName(const std::u16string& name) {
    AddUniqueSheetName(own_->SheetNames, name, codePage_);
}

std::u16string TXLSLinkTable::ReferenceText(TReferenceKind kind, std::uint32_t externSheet,
                                            std::uint32_t nameIndex) const {
    std::u16string documentPart;
    std::u16string sheetPart;
    std::u16string namePart;

    const TXLSLinkDocument* doc = nullptr;
    if (kind == rk3DReference || kind == rkExternName) {
        if (externSheet >= externSheets_.size()) ThrowLinkTableError();
        const TExternSheet& entry = externSheets_[externSheet];
        if (entry.Document >= documents_.size()) ThrowLinkTableError();
        doc = documents_[entry.Document].get();
        documentPart = doc->FileName;

        if (kind == rk3DReference) {
            const std::size_t sheets = doc->SheetNames.Count();
            if (entry.FirstSheet >= sheets || entry.LastSheet >= sheets) ThrowLinkTableError();
            sheetPart = AnsiToWide(codePage_, doc->SheetNames.Get(entry.FirstSheet));
            if (entry.LastSheet != entry.FirstSheet) {
                sheetPart += u':';
                sheetPart += AnsiToWide(codePage_, doc->SheetNames.Get(entry.LastSheet));
            }
        }
    }
    if (kind == rkOwnName || kind == rkExternName) {
        const auto& names = kind == rkOwnName ? own_->Names : doc->Names;
        if (nameIndex >= names.size()) ThrowLinkTableError();
        namePart = names[nameIndex]->Name;
    }

    std::u16string result = documentPart;
    if (!sheetPart.empty()) {
        if (!result.empty()) {
            // "C:\dir\Book.xls" becomes "C:\dir\[Book.xls]" in front of the sheet names,
            // "http://host/dir/Book.xls" "http://host/dir/[Book.xls]".
            const std::size_t slash = result.find_last_of(u"\\/");
            const std::size_t split = slash == std::u16string::npos ? 0 : slash + 1;
            result = result.substr(0, split) + u'[' + result.substr(split) + u']';
        }
        result += sheetPart;
    }
    if (!result.empty()) {
        result = u'\'' + result + u'\'';
        if (kind == rkExternName) result += u'!';
    }
    if (namePart.find(u' ') != std::u16string::npos && namePart.front() != u'\'') {
        result += u'\'' + namePart + u'\'';
    } else {
        result += namePart;
    }
    return result;
}

std::u16string TXLSLinkTable::OwnNameFormulaText(std::uint32_t nameIndex, int formulaSheet) const {
    std::u16string text = ReferenceText(rkOwnName, 0, nameIndex);
    TByteCursor in(own_->Names[nameIndex]->Record);
    // The sheet a name belongs to, counted from 1; 0 for a name of the whole workbook.
    const std::uint16_t sheet = in.U16At(kNameSheetOffset);
    std::u16string prefix;
    if (sheet != 0 && sheet - 1 != formulaSheet && sheet - 1u < own_->SheetNames.Count()) {
        prefix = u'\'' + AnsiToWide(codePage_, own_->SheetNames.Get(sheet - 1)) + u"'!";
    }
    if (!text.empty()) return prefix + text;
    const std::uint16_t flags = in.U16At(0);
    text = CharsAt(in, kNameCharsOffset, in.U8At(kNameLengthOffset),
                   IsWide(in.U8At(kNameOptionOffset)))
               .value_or(std::u16string());
    if ((flags & kNameBuiltIn) != 0) {
        // A built-in name stores its code as its one character.
        text = text.empty() || text.front() >= kBuiltInNames.size()
                   ? std::u16string()
                   : BuiltInNameText(static_cast<std::uint8_t>(text.front() + 1));
    }
    if (text.find(u' ') != std::u16string::npos && text.front() != u'\'') {
        return prefix + u'\'' + text + u'\'';
    }
    return prefix + text;
}

void TXLSLinkTable::ResetOwnDocument() {
    own_->SheetNames.Clear();
    definedNames_ = std::move(own_->Names);
    own_->Names.clear();
}

std::unique_ptr<TXLSLinkTable> TXLSLinkTable::Clone() const {
    auto copy = std::make_unique<TXLSLinkTable>(codePage_);
    const auto copyNames = [](const std::vector<std::unique_ptr<TXLSLinkName>>& names) {
        std::vector<std::unique_ptr<TXLSLinkName>> out;
        out.reserve(names.size());
        for (const auto& name : names)
            out.push_back(std::make_unique<TXLSLinkName>(*name));
        return out;
    };
    copy->documents_.clear();
    for (const auto& document : documents_) {
        auto d = std::make_unique<TXLSLinkDocument>();
        d->FileName = document->FileName;
        d->SheetNames = document->SheetNames;
        d->Names = copyNames(document->Names);
        d->Own = document->Own;
        d->AddIn = document->AddIn;
        d->Record = document->Record;
        if (document.get() == own_) copy->own_ = d.get();
        copy->documents_.push_back(std::move(d));
    }
    copy->externSheets_ = externSheets_;
    copy->definedNames_ = copyNames(definedNames_);
    return copy;
}

void TXLSLinkTable::Clear() {
    documents_.clear();
    externSheets_.clear();
    definedNames_.clear();
    auto own = std::make_unique<TXLSLinkDocument>();
    own->Own = true;
    own_ = own.get();
    documents_.push_back(std::move(own));
}

}  // namespace vorlix

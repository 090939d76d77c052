// The decoder's text pass: the operand stack, and the text of every operand token:
// constants, cell and area references, references to other sheets and workbooks, names.
#include <cstdio>
#include <string>

#include "platform/ByteCursor.h"
#include "platform/RegionalSettings.h"
#include "xls/formula/PtgIds.h"
#include "xls/formula/TPtgParser.h"
#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/StringHelpers.h"

namespace vorlix {

namespace {

using platform::TByteCursor;

// The flags in the high byte of a 16-bit column field.
constexpr std::uint16_t kRowRelative = 0x8000;
constexpr std::uint16_t kColRelative = 0x4000;

constexpr std::uint16_t kLastRow = 0xFFFF;
constexpr std::uint8_t kLastCol = 0xFF;

// EXTERNSHEET sheet numbers that name no sheet: a deleted sheet, the workbook itself.
constexpr std::uint16_t kDeletedSheet = 0xFFFF;
constexpr std::uint16_t kNoSheet = 0xFFFE;

// A prefix that names functions newer than the file format, which a spreadsheet shows
// by their plain names.
constexpr std::string_view kFutureFunction = "_xlfn.";

void AppendDecimal(std::uint32_t value, std::string& out) {
    char digits[10];
    char* p = digits + sizeof digits;
    do {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    out.append(p, static_cast<std::size_t>(digits + sizeof digits - p));
}

// UTF-16 text in the code page; plain ASCII needs no conversion.
void AppendWide(std::u16string_view text, std::string& out, std::uint32_t codePage) {
    for (const char16_t ch : text) {
        if (ch >= 0x80) {
            out += WideToAnsi(codePage, text);
            return;
        }
    }
    for (const char16_t ch : text)
        out += static_cast<char>(ch);
}

// Characters between double quotes, a double quote inside doubled.
void AppendQuoted(std::u16string_view text, std::string& out, std::uint32_t codePage) {
    out += '"';
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'"') {
            AppendWide(text.substr(start, i + 1 - start), out, codePage);
            out += '"';
            start = i + 1;
        }
    }
    AppendWide(text.substr(start), out, codePage);
    out += '"';
}

}  // namespace

// The tokens are in reverse Polish order, so the expression of each token is the run of
// tokens that ends with it, and the operands it takes are the expressions that end right
// before it, the last operand first. The first pass finds where each expression starts;
// the second writes the text once from left to right, each piece where it belongs, so
// that nesting costs no copies and the text stops growing at its bound.
bool TPtgParser::TextPass(const std::vector<TToken>& tokens) {
    starts_.resize(tokens.size());
    roots_.clear();
    for (std::uint32_t i = 0; i < tokens.size(); ++i) {
        const TToken& token = tokens[i];
        std::size_t takes = 0;
        switch (token.Kind) {
            case TKind::Operand:
                break;
            case TKind::Binary:
                takes = 2;
                break;
            case TKind::Prefix:
            case TKind::Postfix:
            case TKind::Paren:
                takes = 1;
                break;
            case TKind::Function:
            case TKind::UserCall:
                takes = token.Args;
                break;
        }
        // The token pass made sure that every token finds its operands.
        if (takes > roots_.size()) return false;
        starts_[i] = takes == 0 ? i : starts_[roots_[roots_.size() - takes]];
        roots_.resize(roots_.size() - takes);
        roots_.push_back(i);
    }
    // The text is the first expression, which no token took. The others are written
    // only for their references to be checked.
    for (std::size_t r = 1; r < roots_.size(); ++r) {
        scratch_.clear();
        if (!Emit(tokens, roots_[r], scratch_)) return false;
    }
    return roots_.empty() || Emit(tokens, roots_[0], text_);
}

bool TPtgParser::Emit(const std::vector<TToken>& tokens, std::uint32_t root, std::string& out) {
    pieces_.clear();
    nameStarts_.clear();
    pieces_.push_back({TPiece::OfToken, root, {}});
    // Pieces are taken from the back: the ones to be written first are pushed last.
    const auto text = [this](std::string_view s) { pieces_.push_back({TPiece::Symbol, 0, s}); };
    const auto token = [this](std::uint32_t i) { pieces_.push_back({TPiece::OfToken, i, {}}); };
    while (!pieces_.empty()) {
        const TPiece piece = pieces_.back();
        pieces_.pop_back();
        switch (piece.What) {
            case TPiece::Symbol:
                out += piece.Text;
                break;
            case TPiece::NameStart:
                nameStarts_.push_back(out.size());
                break;
            case TPiece::NameEnd: {
                // Functions newer than the format are called by their plain names.
                const std::size_t start = nameStarts_.back();
                nameStarts_.pop_back();
                if (std::string_view(out).substr(start).starts_with(kFutureFunction))
                    out.erase(start, kFutureFunction.size());
                break;
            }
            case TPiece::OfToken: {
                const std::uint32_t i = piece.Token;
                const TToken& t = tokens[i];
                // The last operand ends right before the token, each one before it right
                // before the start of the next.
                const std::uint32_t last = i - 1;
                switch (t.Kind) {
                    case TKind::Operand:
                        if (!OperandText(t, out)) return false;
                        break;
                    case TKind::Binary:
                        token(last);
                        text(t.Symbol);
                        token(starts_[last] - 1);
                        break;
                    case TKind::Prefix:
                        token(last);
                        text(t.Symbol);
                        break;
                    case TKind::Postfix:
                        text(t.Symbol);
                        token(last);
                        break;
                    case TKind::Paren:
                        text(")");
                        token(last);
                        text("(");
                        break;
                    case TKind::Function:
                    case TKind::UserCall: {
                        // A call by name finds its name below the arguments.
                        const bool byName = t.Kind == TKind::UserCall;
                        const std::uint32_t args = t.Args - (byName ? 1u : 0u);
                        text(")");
                        std::uint32_t operand = last;
                        for (std::uint32_t a = 0; a < args; ++a) {
                            if (a > 0) text(separator_);
                            token(operand);
                            operand = starts_[operand] - 1;
                        }
                        text("(");
                        if (!byName) {
                            text(t.Symbol);
                        } else if (settings_.AllFormulas) {
                            pieces_.push_back({TPiece::NameEnd, 0, {}});
                            token(operand);
                            pieces_.push_back({TPiece::NameStart, 0, {}});
                        } else {
                            token(operand);
                        }
                        break;
                    }
                }
                break;
            }
        }
        if (out.size() > kMaxTextLength) return false;
    }
    return true;
}

bool TPtgParser::OperandText(const TToken& token, std::string& out) {
    TByteCursor in(token.Bytes);
    const std::uint8_t base = ptg::Base(token.Ptg);
    switch (base) {
        case ptg::kMissArg:
            return true;
        case ptg::kStr:
            StringText(token.Bytes, out);
            return true;
        case ptg::kErr:
            out += ptg::ErrorText(in.U8());
            return true;
        case ptg::kBool:
            out += in.U8() == 1 ? "TRUE" : "FALSE";
            return true;
        case ptg::kInt:
            AppendDecimal(in.U16(), out);
            return true;
        case ptg::kNum:
            NumberText(in.F64(), out);
            return true;
        case ptg::kArray:
            return ArrayText(token.Bytes, out);
        case ptg::kName:  // 1-based
            return NameText(std::uint32_t{in.U16()} - 1, out);
        case ptg::kRef:
        case ptg::kRefN: {
            const std::uint16_t row = in.U16();
            CellText(row, in.U16(), base == ptg::kRefN, out);
            return true;
        }
        case ptg::kArea:
        case ptg::kAreaN:
            AreaText(in, base == ptg::kAreaN, out);
            return true;
        case ptg::kRefErr:
        case ptg::kAreaErr:
            out += "#REF!";
            return true;
        case ptg::kNameX: {
            const std::uint16_t externSheet = in.U16();
            return ExternNameText(externSheet, std::uint32_t{in.U16()} - 1, out);
        }
        case ptg::kRef3d:
        case ptg::kArea3d:
        case ptg::kRefErr3d:
        case ptg::kAreaErr3d: {
            // A 3-D reference names its cells: unlike the tokens above it takes no offset
            // in a shared formula (relative 3-D references are offsets only in names).
            if (!SheetText(in.U16(), out)) return false;
            if (base == ptg::kRef3d) {
                const std::uint16_t row = in.U16();
                CellText(row, in.U16(), false, out);
            } else if (base == ptg::kArea3d) {
                AreaText(in, false, out);
            } else {
                out += "#REF!";
            }
            return true;
        }
        default:
            return false;
    }
}

// A reference's cell: the relative parts of a shared formula's references (and of the
// relative reference tokens) are offsets from the formula's cell, wrapping within the
// sheet's 65536 rows and 256 columns.
TPtgParser::TCellAddress TPtgParser::Address(std::uint16_t row, std::uint16_t colField,
                                             bool offset) const {
    TCellAddress a;
    a.RowRelative = (colField & kRowRelative) != 0;
    a.ColRelative = (colField & kColRelative) != 0;
    a.Row = row;
    a.Col = static_cast<std::uint8_t>(colField);
    if (offset && a.RowRelative) a.Row = static_cast<std::uint16_t>(baseRow_ + row);
    if (offset && a.ColRelative) a.Col = static_cast<std::uint8_t>(baseCol_ + a.Col);
    return a;
}

// "$B$1", "C5": a "$" before each part that is absolute.
void TPtgParser::CellText(std::uint16_t row, std::uint16_t colField, bool offset,
                          std::string& out) const {
    const TCellAddress a = Address(row, colField, offset);
    // "$IV$65536" at the longest.
    char text[10];
    char* p = text;
    if (!a.ColRelative) *p++ = '$';
    if (a.Col >= 26) *p++ = static_cast<char>('A' + a.Col / 26 - 1);
    *p++ = static_cast<char>('A' + a.Col % 26);
    if (!a.RowRelative) *p++ = '$';
    std::uint32_t number = std::uint32_t{a.Row} + 1;
    char* digits = p + (number >= 10000  ? 5
                        : number >= 1000 ? 4
                        : number >= 100  ? 3
                        : number >= 10   ? 2
                                         : 1);
    for (char* d = digits; d != p;) {
        *--d = static_cast<char>('0' + number % 10);
        number /= 10;
    }
    out.append(text, static_cast<std::size_t>(digits - text));
}

void TPtgParser::AppendColumn(const TCellAddress& a, std::string& out) {
    if (!a.ColRelative) out += '$';
    if (a.Col >= 26) out += static_cast<char>('A' + a.Col / 26 - 1);
    out += static_cast<char>('A' + a.Col % 26);
}

void TPtgParser::AppendRow(const TCellAddress& a, std::string& out) {
    if (!a.RowRelative) out += '$';
    AppendDecimal(std::uint32_t{a.Row} + 1, out);
}

// First row, last row, first column field, last column field: "A1:B4". Beyond the
// common subset an area over whole columns shows as "A:B", one over whole rows as "1:3".
void TPtgParser::AreaText(TByteCursor& in, bool offset, std::string& out) const {
    const std::uint16_t firstRow = in.U16();
    const std::uint16_t lastRow = in.U16();
    const std::uint16_t firstCol = in.U16();
    const std::uint16_t lastCol = in.U16();
    if (settings_.AllFormulas) {
        const TCellAddress first = Address(firstRow, firstCol, offset);
        const TCellAddress last = Address(lastRow, lastCol, offset);
        if (first.Row == 0 && last.Row == kLastRow) {
            AppendColumn(first, out);
            out += ':';
            AppendColumn(last, out);
            return;
        }
        if (first.Col == 0 && last.Col == kLastCol) {
            AppendRow(first, out);
            out += ':';
            AppendRow(last, out);
            return;
        }
    }
    CellText(firstRow, firstCol, offset, out);
    out += ':';
    CellText(lastRow, lastCol, offset, out);
}

// "'Data'!" before a 3-D reference. Beyond the common subset a reference to a deleted
// sheet shows as "#REF!" and one to the workbook itself as no sheet at all.
bool TPtgParser::SheetText(std::uint16_t externSheet, std::string& out) const {
    if (settings_.AllFormulas && externSheet < links_.ExternSheetCount()) {
        const TExternSheet& entry = links_.ExternSheet(externSheet);
        if (entry.FirstSheet == kDeletedSheet || entry.LastSheet == kDeletedSheet) {
            out += "#REF!";
            return true;
        }
        if (entry.FirstSheet == kNoSheet) return true;
    }
    AppendWide(links_.ReferenceText(rk3DReference, externSheet, 0), out, style_.CodePage);
    out += '!';
    return true;
}

// A string constant: a character count, an option byte (bit 0: 16-bit characters), the
// characters; 8-bit characters are code points 0..255.
void TPtgParser::StringText(std::string_view bytes, std::string& out) const {
    TByteCursor in(bytes);
    const std::size_t count = in.U8();
    const bool wide = count > 0 && (in.U8() & 0x01) != 0;
    in.Seek(2);
    AppendQuoted(in.Chars(count, wide), out, style_.CodePage);
}

void TPtgParser::NumberText(double value, std::string& out) const {
    if (numberText_ != nullptr) {
        AppendWide(numberText_(value, style_.DecimalSeparator), out, style_.CodePage);
        return;
    }
    char digits[32];
    const int n = std::snprintf(digits, sizeof digits, "%.15G", value);
    const std::u16string point(1, style_.DecimalSeparator);
    for (int i = 0; i < n; ++i) {
        if (digits[i] == '.') {
            AppendWide(point, out, style_.CodePage);
        } else {
            out += digits[i];
        }
    }
}

// An array constant, "{1,2;3,4}": columns separated by the argument separator, rows by
// ";" (by "|" where the argument separator is ";" itself).
bool TPtgParser::ArrayText(std::string_view values, std::string& out) const {
    TByteCursor in(values);
    const std::size_t columns = std::size_t{in.U8()} + 1;
    const std::size_t rows = std::size_t{in.U16()} + 1;
    const std::string_view rowSeparator = separator_ == ";" ? "|" : ";";
    out += '{';
    for (std::size_t r = 0; r < rows; ++r) {
        if (r > 0) out += rowSeparator;
        for (std::size_t c = 0; c < columns; ++c) {
            if (c > 0) out += separator_;
            switch (in.U8()) {
                case 0x01:
                    NumberText(in.F64(), out);
                    break;
                case 0x02: {
                    const std::uint16_t count = in.U16();
                    const bool wide = (in.U8() & 0x01) != 0;
                    AppendQuoted(in.Chars(count, wide), out, style_.CodePage);
                    break;
                }
                case 0x04:
                    out += in.U8() == 1 ? "TRUE" : "FALSE";
                    in.Skip(7);
                    break;
                case 0x10:
                    out += ptg::ErrorText(in.U8());
                    in.Skip(7);
                    break;
                default:  // empty
                    in.Skip(8);
                    break;
            }
        }
    }
    out += '}';
    return !in.Short();
}

// An own defined name by its 0-based position. A name the link table keeps no text of
// (hidden, function and macro names) is outside the common subset.
bool TPtgParser::NameText(std::uint32_t index, std::string& out) const {
    const std::u16string text = settings_.AllFormulas ? links_.OwnNameFormulaText(index, sheet_)
                                                      : links_.ReferenceText(rkOwnName, 0, index);
    if (text.empty()) return false;
    AppendWide(text, out, style_.CodePage);
    return true;
}

bool TPtgParser::ExternNameText(std::uint16_t externSheet, std::uint32_t index,
                                std::string& out) const {
    std::u16string text;
    if (settings_.AllFormulas && externSheet < links_.ExternSheetCount() &&
        links_.ExternSheet(externSheet).Document < links_.DocumentCount() &&
        links_.Document(links_.ExternSheet(externSheet).Document).Own) {
        // A name of the workbook itself, as a name token would show it (a sheet's own
        // name from another sheet is written this way).
        text = links_.OwnNameFormulaText(index, sheet_);
    } else {
        text = links_.ReferenceText(rkExternName, externSheet, index);
    }
    if (text.empty()) return false;
    AppendWide(text, out, style_.CodePage);
    return true;
}

// A data table's cells: TABLE(row input, column input), the missing one left empty.
void TPtgParser::TableText(const TDataTable& table, std::string& out) const {
    constexpr std::uint16_t kRowInput = 0x04;
    constexpr std::uint16_t kTwoInputs = 0x08;
    constexpr std::uint16_t kRelative = kRowRelative | kColRelative;
    const auto cell = [&](std::uint16_t row, std::uint16_t col) {
        CellText(row, static_cast<std::uint16_t>(kRelative | (col & 0xFF)), false, out);
    };
    out += "TABLE(";
    if ((table.Flags & kTwoInputs) != 0) {
        cell(table.RowInputRow, table.RowInputCol);
        out += separator_;
        cell(table.ColInputRow, table.ColInputCol);
    } else if ((table.Flags & kRowInput) != 0) {
        cell(table.RowInputRow, table.RowInputCol);
        out += separator_;
    } else {
        out += separator_;
        cell(table.RowInputRow, table.RowInputCol);
    }
    out += ')';
}

}  // namespace vorlix

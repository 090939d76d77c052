// The decoder's frame and its token pass: which tokens it knows, how many operand bytes
// each takes, and how many operands each takes from the stack and leaves on it.
#include "xls/formula/TPtgParser.h"

#include <iterator>

#include "platform/ByteCursor.h"
#include "platform/CodePage.h"
#include "platform/RegionalSettings.h"
#include "xls/formula/FunctionTable.h"
#include "xls/formula/PtgIds.h"
#include "xls/model/Errors.h"
#include "xls/model/StringHelpers.h"
#include "xls/model/TWorkbookSettings.h"

namespace vorlix {

namespace {

using platform::TByteCursor;

// Attribute flags.
constexpr std::uint8_t kAttrVolatile = 0x01;
constexpr std::uint8_t kAttrIf = 0x02;
constexpr std::uint8_t kAttrChoose = 0x04;
constexpr std::uint8_t kAttrGoto = 0x08;
constexpr std::uint8_t kAttrSum = 0x10;
constexpr std::uint8_t kAttrSpace = 0x40;

// A variable-argument call: the count's high bit asks for a prompt, the index's high bit
// names a macro command instead of a function.
constexpr std::uint8_t kArgCountMask = 0x7F;
constexpr std::uint16_t kCommandFunction = 0x8000;

constexpr std::uint8_t kWideString = 0x01;

// Values of an array constant, each a type byte then its data.
constexpr std::uint8_t kValueNil = 0x00;
constexpr std::uint8_t kValueNumber = 0x01;
constexpr std::uint8_t kValueString = 0x02;
constexpr std::uint8_t kValueBoolean = 0x04;
constexpr std::uint8_t kValueError = 0x10;

// Parsed tokens of shared formulas kept at a time (a few megabytes).
constexpr std::size_t kParsedTokenBudget = std::size_t{1} << 17;

bool KnownError(std::uint8_t code) {
    return !ptg::ErrorText(code).empty();
}

// Operators, 0x03 to 0x15: how each takes its operands and what it shows. The union
// shows as the argument separator.
struct TOperatorEntry {
    std::uint8_t Id;
    bool Common;  // part of the common subset
    TPtgParser::TKind Kind;
    std::string_view Symbol;
};
using K = TPtgParser::TKind;
constexpr TOperatorEntry kOperators[] = {
    {0x03, true, K::Binary, "+"},  {0x04, true, K::Binary, "-"},  {0x05, true, K::Binary, "*"},
    {0x06, true, K::Binary, "/"},  {0x07, false, K::Binary, "^"}, {0x08, true, K::Binary, "&"},
    {0x09, true, K::Binary, "<"},  {0x0A, true, K::Binary, "<="}, {0x0B, true, K::Binary, "="},
    {0x0C, true, K::Binary, ">="}, {0x0D, true, K::Binary, ">"},  {0x0E, true, K::Binary, "<>"},
    {0x0F, false, K::Binary, " "}, {0x10, false, K::Binary, ","}, {0x11, true, K::Binary, ":"},
    {0x12, false, K::Prefix, "+"}, {0x13, false, K::Prefix, "-"}, {0x14, false, K::Postfix, "%"},
    {0x15, true, K::Paren, ""},
};
constexpr std::uint8_t kFirstOperator = 0x03;
constexpr std::uint8_t kLastOperator = 0x15;

constexpr bool OperatorsInIdOrder() {
    for (std::size_t i = 0; i < std::size(kOperators); ++i) {
        if (kOperators[i].Id != kFirstOperator + i) return false;
    }
    return std::size(kOperators) == kLastOperator - kFirstOperator + 1;
}
static_assert(OperatorsInIdOrder(), "one operator per id from 0x03 to 0x15");

// Skips the values of an array constant: columns - 1 (8 bits), rows - 1 (16 bits), then
// the values row by row. False when they run past the end or hold an unknown type.
bool SkipArrayValues(TByteCursor& in) {
    const std::size_t columns = std::size_t{in.U8()} + 1;
    const std::size_t rows = std::size_t{in.U16()} + 1;
    if (in.Short()) return false;
    // Every value takes at least 9 bytes, so the data bounds the loop, not the counts.
    for (std::size_t i = 0; i < columns * rows; ++i) {
        const std::uint8_t type = in.U8();
        if (type == kValueString) {
            const std::uint16_t count = in.U16();
            const bool wide = (in.U8() & kWideString) != 0;
            in.Skip(wide ? 2 * std::size_t{count} : count);
        } else if (type == kValueError) {
            if (!KnownError(in.U8())) return false;
            in.Skip(7);
        } else if (type == kValueNil || type == kValueNumber || type == kValueBoolean) {
            in.Skip(8);
        } else {
            return false;
        }
        if (in.Short()) return false;
    }
    return true;
}

// The operand bytes of a string constant: a count, an option byte, the characters.
std::size_t StringSize(const TByteCursor& in) {
    const std::uint8_t* p = in.Data() + in.Position();
    if (!in.Has(2)) return 2;  // runs past the end
    const std::size_t count = p[0];
    return 2 + ((count > 0 && (p[1] & kWideString) != 0) ? 2 * count : count);
}

}  // namespace

TFormulaTextStyle TFormulaTextStyle::FromDefaults() {
    return {FormulaListSeparator(), platform::RegionalSettings().DecimalSeparator,
            platform::LibraryCodePage()};
}

TPtgParser::TPtgParser(const TXLSLinkTable& links, const TFormulaSettings& settings,
                       TNumberText numberText, const TFormulaTextStyle& style)
    : TPtgParser(links, settings, numberText, style, std::make_shared<TXLSSharedFormulas>()) {}

TPtgParser::TPtgParser(const TXLSLinkTable& links, const TFormulaSettings& settings,
                       TNumberText numberText, const TFormulaTextStyle& style,
                       std::shared_ptr<TXLSSharedFormulas> shared)
    : links_(links),
      settings_(settings),
      numberText_(numberText),
      style_(style),
      shared_(std::move(shared)),
      separator_(WideToAnsi(style.CodePage, std::u16string_view(&style.ListSeparator, 1))) {}

std::unique_ptr<TPtgParser> TPtgParser::Twin(const TXLSLinkTable& links) const {
    return std::unique_ptr<TPtgParser>(
        new TPtgParser(links, settings_, numberText_, style_, shared_));
}

int TPtgParser::Decode(std::uint16_t sheet, std::uint16_t row, std::string_view tokens,
                       std::uint16_t options, std::uint8_t col, std::string_view extra) {
    const TOrigin origin = Locate(sheet, row, col, tokens, options);
    return DecodeOrigin(origin, sheet, row, col, tokens, extra);
}

TPtgParser::TOrigin TPtgParser::Locate(std::uint16_t sheet, std::uint16_t row, std::uint8_t col,
                                       std::string_view tokens, std::uint16_t options) {
    sheet_ = sheet;
    baseRow_ = row;
    baseCol_ = col;
    // The formula of another cell whose tokens are decoded for this one.
    if ((options & kSharedFormula) != 0) {
        if (const TSharedFormula* source = SharedSource(tokens); source != nullptr)
            return {TOrigin::Shared, shared_->SharedPosition(*source)};
    }
    if (settings_.AllFormulas && !tokens.empty() &&
        (tokens[0] == ptg::kExp || tokens[0] == ptg::kTbl)) {
        return Resolve(tokens);
    }
    return {TOrigin::Own, 0};
}

int TPtgParser::DecodeOrigin(const TOrigin& origin, std::uint16_t sheet, std::uint16_t row,
                             std::uint8_t col, std::string_view tokens, std::string_view extra) {
    text_.clear();
    sheet_ = sheet;
    baseRow_ = row;
    baseCol_ = col;
    const TSharedFormula* source = nullptr;
    switch (origin.Kind) {
        case TOrigin::Own:
            break;
        case TOrigin::Shared:
            source = &shared_->SharedAt(origin.Index);
            if (settings_.AllFormulas) {
                tokens = source->Tokens();
                extra = source->Extra();
            } else {
                tokens = source->Body;
                extra = {};
            }
            break;
        case TOrigin::Array:
            source = &shared_->ArrayAt(origin.Index);
            tokens = source->Tokens();
            extra = source->Extra();
            break;
        case TOrigin::Table:
            TableText(shared_->TableAt(origin.Index), text_);
            return kRecognised;
        case TOrigin::Unresolved:
            return kNotRecognised;
    }
    try {
        const std::vector<TToken>* parsed = nullptr;
        if (source != nullptr) {
            parsed = Parsed(*source, tokens, extra);
        } else if (TokenPass(tokens, extra)) {
            parsed = &tokens_;
        }
        if (parsed != nullptr && TextPass(*parsed)) return kRecognised;
    } catch (const Exception&) {
        // A reference the link table cannot resolve.
    }
    text_.clear();
    return kNotRecognised;
}

// The shared formula of a cell: the one whose range starts at the cell its pointer names
// and holds the cell (ranges may overlap: the pointer tells them apart), else the first
// one added that holds the cell.
const TSharedFormula* TPtgParser::SharedSource(std::string_view tokens) const {
    TByteCursor in(tokens);
    if (in.U8() == ptg::kExp) {
        const std::uint16_t row = in.U16();
        const auto col = static_cast<std::uint8_t>(in.U16());
        const TSharedFormula* entry = shared_->FindSharedStartingAt(sheet_, row, col);
        if (!in.Short() && entry != nullptr && entry->Contains(baseRow_, baseCol_)) return entry;
    }
    return shared_->FindShared(sheet_, baseRow_, baseCol_);
}

// The tokens of a formula that many cells share are read once; each cell then only
// builds its own text from them.
const std::vector<TPtgParser::TToken>* TPtgParser::Parsed(const TSharedFormula& source,
                                                          std::string_view tokens,
                                                          std::string_view extra) {
    if (shared_->Generation() != parsedGeneration_) {
        // Entries may have moved; their tokens are read again.
        parsed_.clear();
        parsedTokens_ = 0;
        parsedGeneration_ = shared_->Generation();
    }
    if (const auto it = parsed_.find(&source); it != parsed_.end()) {
        return it->second.Recognised ? &it->second.Tokens : nullptr;
    }
    const bool recognised = TokenPass(tokens, extra);
    // A token takes more room parsed than stored: hostile files with many long shared
    // formulas are read again for each cell rather than kept.
    if (parsedTokens_ + tokens_.size() > kParsedTokenBudget) {
        return recognised ? &tokens_ : nullptr;
    }
    parsedTokens_ += tokens_.size();
    TParsed& parsed = parsed_[&source];
    parsed.Recognised = recognised;
    if (recognised) parsed.Tokens = tokens_;
    return recognised ? &parsed.Tokens : nullptr;
}

// A formula that is only a pointer to the first cell of a shared formula, an array
// formula or a data table stands for that formula.
TPtgParser::TOrigin TPtgParser::Resolve(std::string_view tokens) const {
    TByteCursor in(tokens);
    const std::uint8_t id = in.U8();
    const std::uint16_t row = in.U16();
    const auto col = static_cast<std::uint8_t>(in.U16());
    if (in.Short()) return {TOrigin::Unresolved, 0};
    if (id == ptg::kTbl) {
        const TDataTable* table = shared_->FindTable(sheet_, row, col);
        if (table == nullptr) return {TOrigin::Unresolved, 0};
        return {TOrigin::Table, shared_->TablePosition(*table)};
    }
    const TSharedFormula* source = shared_->FindSharedStartingAt(sheet_, row, col);
    if (source == nullptr) source = shared_->FindShared(sheet_, baseRow_, baseCol_);
    if (source != nullptr) return {TOrigin::Shared, shared_->SharedPosition(*source)};
    source = shared_->FindArrayFormula(sheet_, row, col);
    if (source == nullptr) return {TOrigin::Unresolved, 0};
    return {TOrigin::Array, shared_->ArrayPosition(*source)};
}

bool TPtgParser::TokenPass(std::string_view tokens, std::string_view extra) {
    tokens_.clear();
    depth_ = 0;
    TByteCursor in(tokens);
    TByteCursor more(extra);
    while (!in.AtEnd()) {
        const std::uint8_t id = in.U8();
        if (!(settings_.AllFormulas ? CompleteToken(id, in, more) : CommonToken(id, in))) {
            return false;
        }
    }
    return true;
}

bool TPtgParser::Add(const TToken& token, int pops, int pushes) {
    if (depth_ < pops) return false;  // the stack would run empty
    depth_ += pushes - pops;
    tokens_.push_back(token);
    return true;
}

bool TPtgParser::Operand(TByteCursor& in, std::uint8_t id, std::size_t size) {
    if (!in.Has(size)) return false;
    return Add({TKind::Operand, id, 0, in.Bytes(size), {}}, 0, 1);
}

bool TPtgParser::Call(std::uint8_t id, std::uint16_t index, int args, bool fixed) {
    const std::optional<TFunctionEntry> entry =
        settings_.AllFormulas ? FindBuiltInFunction(index) : FindFunction(index);
    if (!entry) return false;
    if (fixed) {
        if (entry->ArgCount == kVariableArguments) return false;
        args = entry->ArgCount;
    }
    if (entry->Index == kUserDefinedFunction) {
        // The name is the deepest of the operands the call takes.
        if (fixed || args < 1) return false;
        return Add({TKind::UserCall, id, static_cast<std::uint16_t>(args), {}, {}}, args, 1);
    }
    return Add({TKind::Function, id, static_cast<std::uint16_t>(args), {}, entry->Name}, args, 1);
}

// Attribute tokens steer evaluation (jumps of IF and CHOOSE, volatile marks, spaces) and
// are left out of the text, except the one-argument SUM they can stand for.
bool TPtgParser::Attribute(TByteCursor& in) {
    if (!in.Has(3)) return false;
    const std::uint8_t flags = in.U8();
    const std::uint16_t count = in.U16();
    if (settings_.AllFormulas) {
        if ((flags & kAttrChoose) != 0) {
            // The jump table of CHOOSE: an offset per choice and one past them.
            const std::size_t table = 2 * (std::size_t{count} + 1);
            if (!in.Has(table)) return false;
            in.Skip(table);
            return true;
        }
        if ((flags & kAttrSum) != 0) return Add({TKind::Function, 0, 1, {}, "SUM"}, 1, 1);
        return true;
    }
    if ((flags & (kAttrSpace | kAttrIf | kAttrGoto | kAttrVolatile)) != 0) return true;
    if ((flags & kAttrSum) != 0) return Add({TKind::Function, 0, 1, {}, "SUM"}, 1, 1);
    return false;
}

bool TPtgParser::OperatorToken(std::uint8_t id) {
    const TOperatorEntry& op = kOperators[id - kFirstOperator];
    if (!op.Common && !settings_.AllFormulas) return false;
    const std::string_view symbol = id == ptg::kUnion ? std::string_view(separator_) : op.Symbol;
    return Add({op.Kind, id, 0, {}, symbol}, op.Kind == TKind::Binary ? 2 : 1, 1);
}

// The common subset: operators, constants, references, names and the common functions.
// Only the class variants listed are known (of the memory function only 0x29).
bool TPtgParser::CommonToken(std::uint8_t id, TByteCursor& in) {
    if (id >= kFirstOperator && id <= kLastOperator) return OperatorToken(id);
    switch (id) {
        case ptg::kMissArg:
            return Operand(in, id, 0);
        case ptg::kStr:
            return Operand(in, id, StringSize(in));
        case ptg::kAttr:
            return Attribute(in);
        case ptg::kBool:
            return Operand(in, id, 1);
        case ptg::kInt:
            return Operand(in, id, 2);
        case ptg::kNum:
            return Operand(in, id, 8);
        case ptg::kMemFunc:
            return Skip(in, 2);  // the size of the sub-expression that follows
        default:
            break;
    }
    if (id < 0x20 || id >= 0x80) return false;
    switch (ptg::Base(id)) {
        case ptg::kFunc:
        case ptg::kFuncVar:
        case ptg::kName:
        case ptg::kRef:
        case ptg::kArea:
        case ptg::kRefN:
        case ptg::kAreaN:
        case ptg::kNameX:
        case ptg::kRef3d:
        case ptg::kArea3d:
            return ClassedToken(id, in);
        default:
            return false;
    }
}

// Every token of the format. The values of array constants and the areas of memory
// areas follow the tokens, in the order of their tokens.
bool TPtgParser::CompleteToken(std::uint8_t id, TByteCursor& in, TByteCursor& extra) {
    if (id >= kFirstOperator && id <= kLastOperator) return OperatorToken(id);
    switch (ptg::Base(id)) {
        case ptg::kMissArg:
            return Operand(in, id, 0);
        case ptg::kStr:
            return Operand(in, id, StringSize(in));
        case ptg::kAttr:
            return Attribute(in);
        case ptg::kErr:
            if (!in.Has(1) || !KnownError(in.Data()[in.Position()])) return false;
            return Operand(in, id, 1);
        case ptg::kBool:
            return Operand(in, id, 1);
        case ptg::kInt:
            return Operand(in, id, 2);
        case ptg::kNum:
            return Operand(in, id, 8);
        case ptg::kArray: {
            if (!Skip(in, 7)) return false;  // unused
            const std::size_t start = extra.Position();
            if (!SkipArrayValues(extra)) return false;
            const std::string_view values(reinterpret_cast<const char*>(extra.Data()) + start,
                                          extra.Position() - start);
            return Add({TKind::Operand, id, 0, values, {}}, 0, 1);
        }
        case ptg::kMemArea: {
            // A sub-expression follows; its precomputed areas are in the extra data.
            if (!Skip(in, 6)) return false;
            const std::uint16_t areas = extra.U16();
            extra.Skip(8 * std::size_t{areas});
            return !extra.Short();
        }
        case ptg::kMemErr:
        case ptg::kMemNoMem:
            return Skip(in, 6);
        case ptg::kMemFunc:
        case ptg::kMemAreaN:
        case ptg::kMemNoMemN:
            return Skip(in, 2);
        case ptg::kFunc:
        case ptg::kFuncVar:
        case ptg::kName:
        case ptg::kRef:
        case ptg::kArea:
        case ptg::kRefErr:
        case ptg::kAreaErr:
        case ptg::kRefN:
        case ptg::kAreaN:
        case ptg::kNameX:
        case ptg::kRef3d:
        case ptg::kArea3d:
        case ptg::kRefErr3d:
        case ptg::kAreaErr3d:
            return ClassedToken(id, in);
        default:
            return false;  // pointers inside a formula, natural-language tokens, unknown ids
    }
}

// Function calls and references, in either set.
bool TPtgParser::ClassedToken(std::uint8_t id, TByteCursor& in) {
    switch (ptg::Base(id)) {
        case ptg::kFunc:
            if (!in.Has(2)) return false;
            return Call(id, in.U16(), 0, true);
        case ptg::kFuncVar: {
            if (!in.Has(3)) return false;
            const std::uint8_t count = in.U8();
            const std::uint16_t index = in.U16();
            if (!settings_.AllFormulas) return Call(id, index, count, false);  // the whole byte
            if ((index & kCommandFunction) != 0) return false;
            return Call(id, index, count & kArgCountMask, false);
        }
        case ptg::kName:
        case ptg::kRef:
        case ptg::kRefErr:
        case ptg::kRefN:
            return Operand(in, id, 4);
        case ptg::kArea:
        case ptg::kAreaErr:
        case ptg::kAreaN:
            return Operand(in, id, 8);
        case ptg::kNameX:
        case ptg::kRef3d:
        case ptg::kRefErr3d:
            return Operand(in, id, 6);
        default:  // the 3-D areas
            return Operand(in, id, 10);
    }
}

bool TPtgParser::Skip(TByteCursor& in, std::size_t size) {
    if (!in.Has(size)) return false;
    in.Skip(size);
    return true;
}

}  // namespace vorlix

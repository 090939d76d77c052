#include "xls/formula/TKeptFormulas.h"

#include "platform/ByteCursor.h"
#include "xls/formula/TXLSLinkTable.h"

namespace vorlix {

namespace {

// What a formula stands for, in 64 bits: the place of its tokens (an offset among the
// stored formulas, or a position in the store of shared formulas) in the low 40 bits, its
// sheet in the next 16, the kind of its origin (TPtgParser::TOrigin) in the top 8.
constexpr int kSheetShift = 40;
constexpr int kKindShift = 56;
constexpr std::uint64_t kPlaceMask = (std::uint64_t{1} << kSheetShift) - 1;

constexpr std::size_t kHeader = 6;

std::uint64_t Pack(TPtgParser::TOrigin::TKind kind, std::uint16_t sheet, std::uint64_t place) {
    return std::uint64_t{kind} << kKindShift | std::uint64_t{sheet} << kSheetShift |
           (place & kPlaceMask);
}

}  // namespace

TKeptFormulas::TKeptFormulas() = default;
TKeptFormulas::~TKeptFormulas() = default;

std::uint64_t TKeptFormulas::Keep(std::uint16_t options, std::string_view tokens,
                                  std::string_view extra) {
    const std::uint64_t offset = stored_.size();
    // A record holds less than 64 KB.
    const auto tokenLength =
        static_cast<std::uint16_t>(std::min<std::size_t>(tokens.size(), 0xFFFF));
    const auto extraLength =
        static_cast<std::uint16_t>(std::min<std::size_t>(extra.size(), 0xFFFF));
    std::uint8_t header[kHeader];
    platform::Store16(header, options);
    platform::Store16(header + 2, tokenLength);
    platform::Store16(header + 4, extraLength);
    stored_.append(reinterpret_cast<const char*>(header), kHeader);
    stored_.append(tokens.substr(0, tokenLength));
    stored_.append(extra.substr(0, extraLength));
    return Pack(TPtgParser::TOrigin::Own, 0, offset);
}

TKeptFormulas::TStored TKeptFormulas::Stored(std::uint64_t offset) const {
    platform::TByteCursor in(std::string_view(stored_).substr(static_cast<std::size_t>(offset)));
    TStored stored;
    stored.Options = in.U16();
    const std::uint16_t tokenLength = in.U16();
    const std::uint16_t extraLength = in.U16();
    stored.Tokens = in.Bytes(tokenLength);
    stored.Extra = in.Bytes(extraLength);
    return stored;
}

void TKeptFormulas::Seal(const TPtgParser& parser, const TXLSLinkTable& links,
                         std::string unreadable) {
    links_ = links.Clone();
    model_ = parser.Twin(*links_);
    unreadable_ = std::move(unreadable);
}

std::uint64_t TKeptFormulas::Locate(std::uint64_t formula, std::uint16_t sheet, std::uint16_t row,
                                    std::uint8_t col, TPtgParser& parser) const {
    const std::uint64_t offset = formula & kPlaceMask;
    const TStored stored = Stored(offset);
    const TPtgParser::TOrigin origin =
        parser.Locate(sheet, row, col, stored.Tokens, stored.Options);
    return Pack(origin.Kind, sheet,
                origin.Kind == TPtgParser::TOrigin::Own ? offset : origin.Index);
}

std::unique_ptr<TPtgParser> TKeptFormulas::Acquire() const {
    const std::lock_guard lock(mutex_);
    if (idle_.empty()) return model_->Twin(*links_);
    std::unique_ptr<TPtgParser> parser = std::move(idle_.back());
    idle_.pop_back();
    return parser;
}

void TKeptFormulas::Release(std::unique_ptr<TPtgParser> parser) const {
    const std::lock_guard lock(mutex_);
    idle_.push_back(std::move(parser));
}

int TKeptFormulas::Decode(std::uint64_t formula, std::uint16_t row, std::uint8_t col,
                          std::string& text) const {
    text.clear();
    if (!model_) return TPtgParser::kNotRecognised;  // not sealed: the read failed
    TPtgParser::TOrigin origin;
    origin.Kind = static_cast<TPtgParser::TOrigin::TKind>(formula >> kKindShift);
    const auto sheet = static_cast<std::uint16_t>(formula >> kSheetShift);
    const std::uint64_t place = formula & kPlaceMask;
    TStored stored;
    if (origin.Kind == TPtgParser::TOrigin::Own) {
        stored = Stored(place);
    } else {
        origin.Index = static_cast<std::uint32_t>(place);
    }
    std::unique_ptr<TPtgParser> parser = Acquire();
    const int result = parser->DecodeOrigin(origin, sheet, row, col, stored.Tokens, stored.Extra);
    if (result == TPtgParser::kRecognised) text = parser->FormulaText();
    Release(std::move(parser));
    return result;
}

std::string TKeptFormulas::FormulaText(std::uint64_t formula, std::uint16_t row,
                                       std::uint8_t col) const {
    std::string text;
    return Decode(formula, row, col, text) == TPtgParser::kRecognised ? text : unreadable_;
}

}  // namespace vorlix

// The formula token decoder: turns the parsed form a workbook stores a formula in (a
// sequence of tokens in reverse Polish order) back into formula text, "SUM($A$1:B4)*2",
// without the leading "=".
//
// Decoding runs in two passes. The token pass reads the tokens one by one through a byte
// cursor and checks each: an unknown token id, a function the table lacks, operands that
// run past the end, or an expression that would take more operands than the tokens before
// it left make the whole formula not recognised. The text pass then builds the text on an
// operand stack. References to other sheets, other workbooks and defined names are taken
// from the workbook's link table; a reference it cannot resolve makes the formula not
// recognised too. Nothing of one formula survives into the next except the store of
// shared formulas, array formulas and data tables.
//
// By default the decoder knows a common subset of tokens and functions (see
// TFormulaSettings); with AllFormulas it knows the whole token set and every built-in
// function.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "xls/formula/TXLSSharedFormulas.h"
#include "xls/model/TFormulaSettings.h"

namespace vorlix {

class TXLSLinkTable;
namespace platform {
class TByteCursor;
}

// Renders a number as a formula shows it (the general number text) with this decimal
// separator.
using TNumberText = std::u16string (*)(double value, char16_t point);

// How formula texts are written: the argument separator, the decimal separator of numbers
// and the code page of the 8-bit text.
struct TFormulaTextStyle {
    char16_t ListSeparator = u',';
    char16_t DecimalSeparator = u'.';
    std::uint32_t CodePage = 65001;
    // The process-wide defaults as they are now.
    static TFormulaTextStyle FromDefaults();
};

class TPtgParser {
  public:
    // `numberText` may be null: numbers then come out with up to 15 significant digits.
    explicit TPtgParser(const TXLSLinkTable& links, const TFormulaSettings& settings = {},
                        TNumberText numberText = nullptr,
                        const TFormulaTextStyle& style = TFormulaTextStyle::FromDefaults());

    static constexpr int kRecognised = 0;
    static constexpr int kNotRecognised = -1;
    static constexpr std::uint16_t kSharedFormula = 0x0008;

    // Decodes the tokens of the formula of cell (row, col) on sheet `sheet`. Options are
    // the FORMULA record's option flags, of which 0x08 (shared formula) is used; `extra`
    // is the data that follows the tokens in the record (array constants). Returns
    // kRecognised with FormulaText() set, or kNotRecognised with FormulaText() empty.
    // Decode is Locate followed by DecodeOrigin.
    int Decode(std::uint16_t sheet, std::uint16_t row, std::string_view tokens,
               std::uint16_t options, std::uint8_t col, std::string_view extra = {});
    const std::string& FormulaText() const { return text_; }

    // The longest formula text, in bytes of 8-bit text: eight times what the writers of
    // the format let a formula hold. A longer one is not recognised. Building a text
    // takes time in proportion to its tokens and its length.
    static constexpr std::size_t kMaxTextLength = 64 * 1024;

    // Where the tokens of a cell's formula are: its own (the FORMULA record's), those of a
    // shared formula or an array formula of the store (by position), a data table's, or
    // none that can be decoded.
    struct TOrigin {
        enum TKind : std::uint8_t { Own, Shared, Array, Table, Unresolved };
        TKind Kind = Own;
        std::uint32_t Index = 0;
    };
    // The origin of the formula of cell (row, col) on sheet `sheet`, found in the store as
    // Decode finds it. Once the store is complete the origin stays valid.
    TOrigin Locate(std::uint16_t sheet, std::uint16_t row, std::uint8_t col,
                   std::string_view tokens, std::uint16_t options);
    // Decodes a located formula; `tokens` and `extra` are the formula's own, read for an
    // Own origin. Looks nothing up in the store: decoders of one complete store may do
    // this side by side.
    int DecodeOrigin(const TOrigin& origin, std::uint16_t sheet, std::uint16_t row,
                     std::uint8_t col, std::string_view tokens, std::string_view extra);

    // A decoder with the same settings and text style that shares this one's store of
    // shared formulas and reads another link table.
    std::unique_ptr<TPtgParser> Twin(const TXLSLinkTable& links) const;

    TXLSSharedFormulas& SharedFormulas() { return *shared_; }
    const TFormulaSettings& Settings() const { return settings_; }

    // How a token takes operands from the stack and what it leaves.
    enum class TKind : std::uint8_t {
        Operand,   // pushes one text
        Binary,    // pops two, pushes one
        Prefix,    // unary plus and minus
        Postfix,   // percent
        Paren,     // parentheses around the top
        Function,  // pops its arguments, pushes the call
        UserCall,  // pops its arguments and, below them, the function's name
    };

  private:
    TPtgParser(const TXLSLinkTable& links, const TFormulaSettings& settings, TNumberText numberText,
               const TFormulaTextStyle& style, std::shared_ptr<TXLSSharedFormulas> shared);

    // One token that the text pass visits.
    struct TToken {
        TKind Kind;
        std::uint8_t Ptg;         // the token id as stored
        std::uint16_t Args;       // functions: the argument count
        std::string_view Bytes;   // the operand bytes (array constants: their values)
        std::string_view Symbol;  // operators and function names
    };

    const TSharedFormula* SharedSource(std::string_view tokens) const;
    TOrigin Resolve(std::string_view tokens) const;
    const std::vector<TToken>* Parsed(const TSharedFormula& source, std::string_view tokens,
                                      std::string_view extra);
    bool TokenPass(std::string_view tokens, std::string_view extra);
    bool Attribute(platform::TByteCursor& in);
    bool CommonToken(std::uint8_t id, platform::TByteCursor& in);
    bool CompleteToken(std::uint8_t id, platform::TByteCursor& in, platform::TByteCursor& extra);
    bool ClassedToken(std::uint8_t id, platform::TByteCursor& in);
    bool OperatorToken(std::uint8_t id);
    bool Operand(platform::TByteCursor& in, std::uint8_t id, std::size_t size);
    static bool Skip(platform::TByteCursor& in, std::size_t size);
    bool Call(std::uint8_t id, std::uint16_t index, int args, bool fixed);
    bool Add(const TToken& token, int pops, int pushes);
    bool TextPass(const std::vector<TToken>& tokens);
    bool Emit(const std::vector<TToken>& tokens, std::uint32_t root, std::string& out);

    struct TCellAddress {
        std::uint16_t Row = 0;
        std::uint8_t Col = 0;
        bool RowRelative = false;
        bool ColRelative = false;
    };
    TCellAddress Address(std::uint16_t row, std::uint16_t colField, bool offset) const;
    static void AppendColumn(const TCellAddress& a, std::string& out);
    static void AppendRow(const TCellAddress& a, std::string& out);

    // Operand texts, appended to `out`; false when a reference cannot be resolved.
    bool OperandText(const TToken& token, std::string& out);
    void CellText(std::uint16_t row, std::uint16_t colField, bool offset, std::string& out) const;
    void AreaText(platform::TByteCursor& in, bool offset, std::string& out) const;
    bool SheetText(std::uint16_t externSheet, std::string& out) const;
    void StringText(std::string_view bytes, std::string& out) const;
    void NumberText(double value, std::string& out) const;
    bool ArrayText(std::string_view values, std::string& out) const;
    bool NameText(std::uint32_t index, std::string& out) const;
    bool ExternNameText(std::uint16_t externSheet, std::uint32_t index, std::string& out) const;
    void TableText(const TDataTable& table, std::string& out) const;

    const TXLSLinkTable& links_;
    TFormulaSettings settings_;
    TNumberText numberText_;
    TFormulaTextStyle style_;
    std::shared_ptr<TXLSSharedFormulas> shared_;

    // The formula being decoded.
    std::uint16_t sheet_ = 0;
    std::uint16_t baseRow_ = 0;
    std::uint8_t baseCol_ = 0;
    std::string separator_;  // the argument separator, in the style's code page
    std::vector<TToken> tokens_;
    // The tokens of shared and array formulas already read, as long as the store holds
    // the same entries.
    struct TParsed {
        bool Recognised = false;
        std::vector<TToken> Tokens;
    };
    std::unordered_map<const TSharedFormula*, TParsed> parsed_;
    std::size_t parsedGeneration_ = 0;
    std::size_t parsedTokens_ = 0;
    int depth_ = 0;  // operands the tokens so far leave on the stack
    // The text pass: where each token's expression starts in the token list, the
    // expressions not yet taken by another token, and the pieces still to be written.
    struct TPiece {
        enum TWhat : std::uint8_t { OfToken, Symbol, NameStart, NameEnd };
        TWhat What;
        std::uint32_t Token;
        std::string_view Text;
    };
    std::vector<std::uint32_t> starts_;
    std::vector<std::uint32_t> roots_;
    std::vector<TPiece> pieces_;
    std::vector<std::size_t> nameStarts_;
    std::string scratch_;
    std::string text_;
};

}  // namespace vorlix

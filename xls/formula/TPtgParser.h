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
    int Decode(std::uint16_t sheet, std::uint16_t row, std::string_view tokens,
               std::uint16_t options, std::uint8_t col, std::string_view extra = {});
    const std::string& FormulaText() const { return text_; }

    // What all formulas decoded from now on may write together: their texts and the
    // copies made on the way, plus their tokens. One shared formula may stand for many
    // cells, each decoded anew, so without it a few bytes could ask for gigabytes of text
    // and minutes of work. Once spent, formulas are not decoded. Unlimited unless set.
    void SetTotalWriteBudget(std::uint64_t bytes) {
        totalBudget_ = bytes;
        totalWritten_ = 0;
    }

    TXLSSharedFormulas& SharedFormulas() { return shared_; }
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
    int DecodeFormula(std::uint16_t sheet, std::uint16_t row, std::string_view tokens,
                      std::uint16_t options, std::uint8_t col, std::string_view extra);

    // One token that the text pass visits.
    struct TToken {
        TKind Kind;
        std::uint8_t Ptg;         // the token id as stored
        std::uint16_t Args;       // functions: the argument count
        std::string_view Bytes;   // the operand bytes (array constants: their values)
        std::string_view Symbol;  // operators and function names
    };

    const TSharedFormula* SharedSource(std::string_view tokens) const;
    bool Resolve(std::string_view& tokens, const TSharedFormula*& source);
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

    // The operand stack: texts_[0..depth_-1], their storage reused from formula to formula.
    std::string& PushText();
    // Counts bytes written; false once a formula has written more than its budget.
    bool Spend(std::size_t bytes);

    const TXLSLinkTable& links_;
    TFormulaSettings settings_;
    TNumberText numberText_;
    TFormulaTextStyle style_;
    TXLSSharedFormulas shared_;

    // The formula being decoded.
    std::uint16_t sheet_ = 0;
    std::uint16_t baseRow_ = 0;
    std::uint8_t baseCol_ = 0;
    // Whether the tokens are a shared formula's: the relative parts of its 3-D references
    // are offsets too.
    bool sharedTokens_ = false;
    // A data table's text, which stands for the whole formula.
    const TDataTable* table_ = nullptr;
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
    std::vector<std::string> texts_;
    std::size_t written_ = 0;
    std::uint64_t totalBudget_ = UINT64_MAX;
    std::uint64_t totalWritten_ = 0;
    std::string scratch_;
    std::string text_;
};

}  // namespace vorlix

// The formulas of a workbook read from a file, kept as the file stores them until a
// caller asks a cell for its formula text.
//
// While the records are read each FORMULA record's tokens are kept in one block of
// memory, the formula standing for the number Keep gives. Once every record is read (and
// with it every shared formula, array formula, name and external reference), Locate finds
// where each formula's tokens are: its own, or those of the shared formula, array formula
// or data table it points to, kept once for all their cells. Sealed, the store builds
// a formula's text on demand with decoders of its own over a copy of the link table, so
// that later changes to the workbook's table leave the texts as the file had them.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "xls/formula/TPtgParser.h"
#include "xls/model/TFormulaSource.h"

namespace vorlix {

class TXLSLinkTable;

class TKeptFormulas final : public TFormulaSource {
  public:
    TKeptFormulas();
    ~TKeptFormulas() override;

    // A FORMULA record's option flags, tokens and the data after them.
    std::uint64_t Keep(std::uint16_t options, std::string_view tokens, std::string_view extra);

    // Once the records are read: takes a copy of the link table, the settings and the
    // store of shared formulas of the read's decoder, and the text that formulas that
    // cannot be decoded get.
    void Seal(const TPtgParser& parser, const TXLSLinkTable& links, std::string unreadable);
    // What a kept formula of cell (row, col) on sheet `sheet` stands for from now on, its
    // tokens found by `parser`, the read's decoder.
    std::uint64_t Locate(std::uint64_t formula, std::uint16_t sheet, std::uint16_t row,
                         std::uint8_t col, TPtgParser& parser) const;

    // TPtgParser::kRecognised with the text, or kNotRecognised.
    int Decode(std::uint64_t formula, std::uint16_t row, std::uint8_t col, std::string& text) const;
    std::string FormulaText(std::uint64_t formula, std::uint16_t row,
                            std::uint8_t col) const override;

  private:
    // A kept formula: its options, tokens and extra data.
    struct TStored {
        std::uint16_t Options = 0;
        std::string_view Tokens;
        std::string_view Extra;
    };
    TStored Stored(std::uint64_t offset) const;

    std::unique_ptr<TPtgParser> Acquire() const;
    void Release(std::unique_ptr<TPtgParser> parser) const;

    // Each formula: options, token length, extra length (16 bits each), tokens, extra.
    std::string stored_;
    std::unique_ptr<TXLSLinkTable> links_;
    std::unique_ptr<TPtgParser> model_;  // what the decoders are made like; decodes nothing
    std::string unreadable_;
    // Decoders not in use. Each keeps the parsed tokens of the shared formulas it has seen.
    mutable std::mutex mutex_;
    mutable std::vector<std::unique_ptr<TPtgParser>> idle_;
};

}  // namespace vorlix

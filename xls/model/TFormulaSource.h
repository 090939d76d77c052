// Where the formulas of a workbook read from a file get their text. The reader keeps what
// each formula needs beside its cell, a number that stands for it, and the text is built
// when a caller asks a cell for its formula.
#pragma once

#include <cstdint>
#include <string>

namespace vorlix {

class TFormulaSource {
  public:
    virtual ~TFormulaSource() = default;
    // The text of the formula that `formula` stands for, as the cell (row, col) shows it
    // (the references of a shared formula depend on the cell). A formula that cannot be
    // decoded gives the text the read was asked to give such formulas (as a rule none).
    // Called from several threads at once.
    virtual std::string FormulaText(std::uint64_t formula, std::uint16_t row,
                                    std::uint8_t col) const = 0;
};

}  // namespace vorlix

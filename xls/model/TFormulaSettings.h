// How the reader turns the formulas stored in a workbook into formula text.
#pragma once

namespace vorlix {

struct TFormulaSettings {
    // Off: the common subset of tokens and 78 common functions; a formula using anything
    // else (power, unary minus, error constants, array constants, array formulas, other
    // functions, ...) is not recognised and keeps no text. On: every token and every
    // built-in function of the file format, array formulas and data tables.
    bool AllFormulas = false;
};

}  // namespace vorlix

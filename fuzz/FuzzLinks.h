// A link table for the harnesses that decode formulas: the workbook's own sheets, one
// external workbook with an external name, the add-in functions, deleted and whole-book
// references, and a few defined names (one hidden, one a function's).
#pragma once

#include "xls/formula/TXLSLinkTable.h"

namespace vorlix::fuzz {

const TXLSLinkTable& FuzzLinkTable();

}  // namespace vorlix::fuzz

// Reading of DV records into data validations.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/ByteCursor.h"
#include "xls/model/TCellValidations.h"

namespace vorlix {

class TPtgParser;

// A validation from a DV record body on sheet `sheetIndex`. Fields a short body lacks
// keep their defaults or read as 0; texts keep the characters present. The two condition
// formulas are decoded relative to the first cell of the first area; one that cannot be
// decoded is empty, or with `strict` an error (EXLSError 13).
std::unique_ptr<TCellValidation> ReadValidation(platform::TByteCursor& body, TPtgParser& parser,
                                                bool strict, std::uint16_t sheetIndex);

}  // namespace vorlix

// Data validations from DV records (decoded by records/ValidationRecords.h).
#pragma once

#include <cstdint>
#include <memory>

#include "platform/ByteCursor.h"
#include "xls/model/TCellValidations.h"
#include "xls/read/records/ValidationRecords.h"

namespace vorlix {

class TPtgParser;

// The validation of a decoded DV record on sheet `sheetIndex`. The two condition formulas
// are decoded relative to the first cell of the first area; one that cannot be decoded is
// empty, or with `strict` an error (EXLSError 13). An explicit list keeps its values
// without the quotes of the string constant that holds them.
std::unique_ptr<TCellValidation> MakeValidation(const records::TDvRecord& dv, TPtgParser& parser,
                                                bool strict, std::uint16_t sheetIndex);
// The same from a DV body.
std::unique_ptr<TCellValidation> ReadValidation(platform::TByteCursor& body, TPtgParser& parser,
                                                bool strict, std::uint16_t sheetIndex);

}  // namespace vorlix

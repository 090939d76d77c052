// Reading of DV records into data validations.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/ByteCursor.h"
#include "xls/model/TCellValidations.h"

namespace vorlix {

// A validation from a DV record body. Fields a short body lacks keep their defaults or
// read as 0; texts keep the characters present. `strict` makes an undecodable condition
// formula an error (EXLSError 13).
std::unique_ptr<TCellValidation> ReadValidation(platform::TByteCursor& body, bool strict,
                                                std::uint16_t sheetIndex);

}  // namespace vorlix

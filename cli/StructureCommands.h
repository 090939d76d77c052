// `vorlix-cli streams` and `vorlix-cli records`: the compound document's elements and the
// workbook stream's records, one per line, for scripts.
#pragma once

#include <ostream>
#include <string>

namespace vorlix::cli {

// Each returns the process exit status: 0, or 2 after writing the error to `err`.
int ListStreams(const std::string& file, std::ostream& out, std::ostream& err);
int ListRecords(const std::string& file, std::ostream& out, std::ostream& err);

// A name as the listings print it: bytes below 0x20 as \xHH, everything else as is.
std::string EscapeName(const std::string& name);

}  // namespace vorlix::cli

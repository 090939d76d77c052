// `vorlix-cli dump`: the workbook model as JSON, for scripts to check.
#pragma once

#include <ostream>
#include <string>

namespace vorlix::cli {

// Returns the exit status: 0, or 2 after writing the error to `err`.
int DumpWorkbook(const std::string& file, const std::string& password, std::ostream& out,
                 std::ostream& err);

}  // namespace vorlix::cli

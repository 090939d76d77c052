// `vorlix-cli dump`: the workbook model as JSON, for scripts to check.
#pragma once

#include <ostream>
#include <string>

namespace vorlix::cli {

struct TDumpOptions {
    bool StrictFormulas = false;  // a formula that cannot be decoded fails the read
    bool AllFormulas = false;     // decode every token and function, not the common subset
    bool NoDrawings = false;      // leave pictures and comments unread
};

// Returns the exit status: 0, or 2 after writing the error to `err`.
int DumpWorkbook(const std::string& file, const std::string& password, std::ostream& out,
                 std::ostream& err, const TDumpOptions& options = {});

}  // namespace vorlix::cli

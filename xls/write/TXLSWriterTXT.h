// Writes the used area of one sheet as comma or tab separated text: one line per row,
// one field per column, each field the cell's display text (its value formatted with
// its number format).
#pragma once

#include <ostream>
#include <string>

#include "xls/model/TWorkbook.h"

namespace vorlix {

class TXLSWriterTXT {
  public:
    explicit TXLSWriterTXT(const TSheet& sheet) : sheet_(sheet) {}

    // Creates (or truncates) the file and writes the area; raises on file errors.
    void SaveToFile(const std::string& fileName, TTextFileKind kind, const TUsedArea& area);
    // Writes the area's lines, each ended by CR LF. CSV fields are quoted, with a double
    // quote inside a text doubled. Tab separated fields are written as they are, except
    // that one holding a tab, CR or LF is quoted the same way.
    void WriteSheet(std::ostream& out, TTextFileKind kind, const TUsedArea& area);

  private:
    const TSheet& sheet_;
};

}  // namespace vorlix

// Writes the used area of one sheet as comma or tab separated text: one line per row,
// one field per column, each field the cell's display text (its value formatted with
// its number format).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "platform/CodePage.h"
#include "xls/model/TCellValue.h"
#include "xls/model/TWorkbook.h"

namespace vorlix {

// How delimited text is written. The defaults give the standard output: the kind's
// separator, CR LF line ends, UTF-8 without a byte order mark, the display texts.
struct TTextWriteOptions {
    char Separator = '\0';  // '\0': ',' for CSV, a tab for TXT
    std::string LineEnd = "\r\n";
    // Any code page the platform converts; the separator, the quotes and the line end are
    // converted with the text (so UTF-16 output is UTF-16 throughout).
    std::uint32_t CodePage = platform::kCodePageUtf8;
    // Starts the output with the code page's byte order mark: UTF-8 (65001), UTF-16LE (1200)
    // and UTF-16BE (1201) have one, other code pages none.
    bool ByteOrderMark = false;
    // Each value as RawValueText gives it instead of its display text.
    bool RawValues = false;
    // "=" and the formula text for a cell that has one; its value where the text is empty.
    bool Formulas = false;

    char SeparatorFor(TTextFileKind kind) const {
        return Separator != '\0' ? Separator : kind == tkCSV ? ',' : '\t';
    }
};

class TCell;

// "=" and the cell's formula text in UTF-8; empty when the cell has no formula text.
std::string FormulaFieldText(const TCell& cell);

// The byte order mark of a code page: empty for those without one.
std::string ByteOrderMark(std::uint32_t codePage);

// A value for programs that read the text back: numbers in full precision (the shortest
// text that reads back as the same number, "." as decimal separator), date-times in ISO
// 8601 (2010-03-01, 14:05:09, 2010-03-01T14:05:09.250), times of day alone (06:34:00),
// durations in hours, minutes and seconds (231:10:10, -01:30:00.500), booleans TRUE or
// FALSE, errors as a spreadsheet shows them (#DIV/0!), texts as they are (UTF-8); anything
// else empty.
std::string RawValueText(const TCellValue& value, std::uint32_t codePage);

// Lines of UTF-8 text written in the options' code page, each ended by the options' line
// end and written with a single write.
class TTextLineWriter {
  public:
    TTextLineWriter(std::ostream& out, const TTextWriteOptions& options);
    // The byte order mark, when the options ask for one.
    void Start();
    // Appends the line end to `line` and writes it; `line` is left changed.
    void Write(std::string& line);

  private:
    std::ostream& out_;
    const TTextWriteOptions& options_;
};

class TXLSWriterTXT {
  public:
    explicit TXLSWriterTXT(const TSheet& sheet) : sheet_(sheet) {}

    // Creates (or truncates) the file and writes the area; raises on file errors.
    void SaveToFile(const std::string& fileName, TTextFileKind kind, const TUsedArea& area,
                    const TTextWriteOptions& options = {});
    // Writes the area's lines. CSV fields are quoted, with a double quote inside a text
    // doubled. Tab separated fields are written as they are, except that one holding the
    // separator, CR or LF, or beginning with a double quote, is quoted the same way.
    void WriteSheet(std::ostream& out, TTextFileKind kind, const TUsedArea& area,
                    const TTextWriteOptions& options = {});

  private:
    const TSheet& sheet_;
};

}  // namespace vorlix

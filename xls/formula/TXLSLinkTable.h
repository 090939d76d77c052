// The workbook's link table: the documents a workbook refers to (itself, add-ins,
// external workbooks with their sheet names), the EXTERNSHEET triples formula tokens
// point to, external names, and the workbook's own defined names with the cell areas
// their definitions cover.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/model/StringLists.h"
#include "xls/model/TRangeRects.h"

namespace vorlix {

struct TXLSLinkName {
    std::u16string Name;
    // Own names: first sheet of the first 3-D area, -1 without one, 0 for names that are
    // not parsed. External names: bytes 2-3 of the record.
    std::int16_t Sheet = -1;
    TRangeRects Areas;
    std::uint8_t BuiltInCode = 0;  // 0 ordinary; 1..14 the file's code plus 1
    std::string Record;            // the record body as read
};

struct TXLSLinkDocument {
    std::u16string FileName;  // decoded path of an external workbook; empty otherwise
    TAnsiStringList SheetNames;
    std::vector<std::unique_ptr<TXLSLinkName>> Names;
    bool Own = false;
    bool AddIn = false;
    std::string Record;
};

struct TExternSheet {
    std::uint16_t Document = 0;
    std::uint16_t FirstSheet = 0;
    std::uint16_t LastSheet = 0;
};

enum TReferenceKind : std::uint8_t { rk3DReference = 0, rkOwnName = 1, rkExternName = 2 };

// The built-in name of a stored code 1..14 ("Print_Area" for 7); empty otherwise.
std::u16string BuiltInNameText(std::uint8_t storedCode);

class TXLSLinkTable {
  public:
    // Holds the own document only. Sheet names are kept as 8-bit text in `codePage`.
    explicit TXLSLinkTable(std::uint32_t codePage = 65001);
    // The code page of the workbook the next records come from.
    void SetCodePage(std::uint32_t codePage) { codePage_ = codePage; }

    // Record bodies of the globals, in record order. The link-table error (EXLSError 14)
    // is raised for inconsistent records.
    void AddSupbook(const std::string& body);
    void AddExternName(const std::string& body);
    void AddExternSheets(const std::string& body);
    int AddName(const std::string& body);
    // A sheet name of the workbook itself (ignored when already present).
    void AddSheetName(const std::u16string& name);

    // The text of a 3-D reference, an own name or an external name (EXLSError 14 for an
    // index out of range).
    std::u16string ReferenceText(TReferenceKind kind, std::uint32_t externSheet,
                                 std::uint32_t nameIndex) const;
    // An own name as a formula shows it: its reference text, or for a name the table
    // keeps no text of (hidden names, function and macro names) the name its record
    // stores, quoted alike. A name that belongs to one sheet gets that sheet in front
    // ("'Data'!Total") in a formula of another sheet `formulaSheet`. EXLSError 14 for an
    // index out of range.
    std::u16string OwnNameFormulaText(std::uint32_t nameIndex, int formulaSheet) const;

    int DocumentCount() const { return static_cast<int>(documents_.size()); }
    const TXLSLinkDocument& Document(int index) const;
    TXLSLinkDocument& OwnDocument() const { return *own_; }
    int ExternSheetCount() const { return static_cast<int>(externSheets_.size()); }
    const TExternSheet& ExternSheet(int index) const;

    // Forgets the own document's sheet names and names; the names move to DefinedNames.
    void ResetOwnDocument();
    // The workbook's own defined names as the last read left them, in record order.
    const std::vector<std::unique_ptr<TXLSLinkName>>& DefinedNames() const { return definedNames_; }
    // Back to the own document only.
    void Clear();
    // A copy of the whole table, which later changes to this one leave as it is.
    std::unique_ptr<TXLSLinkTable> Clone() const;

    // A SUPBOOK file name as stored (0x01 0x01 "C" "dir" 0x03 "a.xls") as a path.
    static std::u16string DecodeFileName(const std::u16string& stored, bool eightBit);

  private:
    std::uint32_t codePage_;
    std::vector<std::unique_ptr<TXLSLinkDocument>> documents_;
    std::vector<TExternSheet> externSheets_;
    TXLSLinkDocument* own_ = nullptr;
    std::vector<std::unique_ptr<TXLSLinkName>> definedNames_;
};

}  // namespace vorlix

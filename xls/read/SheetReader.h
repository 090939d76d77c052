// The reader of a sheet's records: cell values and their formats, formulas and the text
// results after them, hyperlinks, data validations, rows, columns, merged areas, page
// setup, window settings and protection; and the finishing step that turns the stored
// formulas into formula text once every sheet, name and external reference is known.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/read/RecordCursor.h"
#include "xls/read/records/CellRecords.h"

namespace vorlix {

class TCell;
class TCells;
class TKeptFormulas;
class TReadContext;
struct TSharedString;

class TSheetReader {
  public:
    explicit TSheetReader(TReadContext& context);
    ~TSheetReader();

    // Cells.
    void ReadNumber(TRecordCursor& body);
    void ReadRk(TRecordCursor& body);
    void ReadMulRk(TRecordCursor& body);
    void ReadLabel(TRecordCursor& body);
    void ReadLabelSst(TRecordCursor& body);
    void ReadBlank(TRecordCursor& body);
    void ReadMulBlank(TRecordCursor& body);
    void ReadBoolErr(TRecordCursor& body);
    void ReadString(TRecordCursor& body);
    void ReadHLink(TRecordCursor& body);
    void ReadDv(TRecordCursor& body);
    // Formulas.
    void ReadFormula(TRecordCursor& body);
    void ReadShrFmla(TRecordCursor& body);
    void ReadArray(TRecordCursor& body);
    void ReadTable(TRecordCursor& body);
    // Rows and columns.
    void ReadRow(TRecordCursor& body);
    void ReadDefaultRowHeight(TRecordCursor& body);
    void ReadColInfo(TRecordCursor& body);
    void ReadMergeCells(TRecordCursor& body);
    // Page setup, window and protection.
    void ReadHeader(TRecordCursor& body);
    void ReadFooter(TRecordCursor& body);
    void ReadSetup(TRecordCursor& body);
    void ReadMargin(TRecordCursor& body);
    void ReadPrintFlag(TRecordCursor& body);
    void ReadWsBool(TRecordCursor& body);
    void ReadWindow2(TRecordCursor& body);
    void ReadPane(TRecordCursor& body);
    void ReadScl(TRecordCursor& body);
    void ReadFeatHdr(TRecordCursor& body);

    // A sheet's records follow (a sheet read by itself).
    void StartSheet();
    // Every kept formula is located in the complete store of shared formulas and the cells
    // get the source of their texts: of every sheet, or of the sheet at `position` alone,
    // whose kept formulas then stay with its cells; with StrictFormulas every formula is
    // decoded.
    void FinishFormulas(int sheetPosition = -1);
    // The kept formulas of a sheet whose read failed go.
    void ForgetFormulas() { formulas_.reset(); }

  private:
    void ApplyCellFormat(TCell& cell, std::uint32_t xf);
    void KeepFormula(TCell cell, const records::TFormulaRecord& r);
    // A number, text or boolean cell with its XF, as GetCell, SetValue and ApplyCellFormat
    // would leave it.
    void PutNumber(std::uint32_t row, std::uint32_t col, std::uint32_t xf, double value);
    void PutText(std::uint32_t row, std::uint32_t col, std::uint32_t xf, const TSharedString& text);
    void Blank(std::uint32_t row, std::uint32_t col, std::uint32_t xf);
    void ReadHeaderFooter(TRecordCursor& body, bool header);

    std::uint32_t CodePage() const { return context_.Workbook.Settings().CodePage; }

    TReadContext& context_;
    // Where the sheet being read keeps each shared string it has used, plus 1 (0: not yet).
    std::vector<std::uint64_t> sharedPlaces_;
    const TCells* sharedPlacesOf_ = nullptr;
    // The formulas of the workbook, kept until their texts are asked for.
    std::shared_ptr<TKeptFormulas> formulas_;
    // The cell of the formula whose text result a STRING record brings.
    std::int32_t pendingRow_ = -1, pendingCol_ = -1, pendingXF_ = -1;
    // Decoding space of MULRK and MULBLANK records, reused from record to record.
    records::TMulRkRecord mulRk_;
    records::TMulBlankRecord mulBlank_;
};

}  // namespace vorlix

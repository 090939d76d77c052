// The reader of the records of BIFF versions 2, 3 and 4 whose layouts differ from the
// later versions': the cells of BIFF2 with their attribute bytes (and IXFE), the 8-bit
// texts of LABEL and STRING, formulas with their cached results, fonts, number formats
// and XFs, the code page, and the substreams of a worksheet file (one sheet) or of an
// Excel 4.0 workbook (a sheet per BUNDLESHEET). The records that kept their layout are
// read by the later versions' handlers.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "xls/read/RecordCursor.h"
#include "xls/read/records/EarlyBiffRecords.h"

namespace vorlix {

class TReadContext;
struct TSharedString;

class TEarlyBiffReader {
  public:
    // Each record's id says which version's layout it has: some files of one version
    // hold records of another.
    explicit TEarlyBiffReader(TReadContext& context);

    void ReadBof(TRecordCursor& body);
    void ReadBundleSheet(TRecordCursor& body);
    void ReadCodePage(TRecordCursor& body);
    void ReadFont(TRecordCursor& body);
    void ReadFormat(TRecordCursor& body);
    void ReadXf(TRecordCursor& body);
    void ReadIxfe(TRecordCursor& body);
    void ReadBlank(TRecordCursor& body);
    void ReadInteger(TRecordCursor& body);
    void ReadNumber(TRecordCursor& body);
    void ReadLabel(TRecordCursor& body);
    void ReadBoolErr(TRecordCursor& body);
    void ReadFormula(TRecordCursor& body);
    void ReadString(TRecordCursor& body);

    // The index of the first number format of the file in the model: the file's formats
    // count from 0 in the order of their records; the model keeps them past its built-in
    // ones, so that no built-in meaning of an index goes with them.
    static constexpr std::uint16_t kFirstFormat = 164;

  private:
    // The model's XF of a cell: the index stored (BIFF3 and 4), for BIFF2 the one its
    // attributes name (or the IXFE before it), or with no XF records in the file one made
    // from the attributes; -1 when there is no such XF.
    std::int32_t CellXF(const records::TEarlyCell& cell);
    std::int32_t AppendXf(const records::TEarlyXfRecord& xf);
    TSharedString Text(std::string_view bytes) const;
    void PutNumber(const records::TEarlyCell& cell, double value);
    // Fonts and XFs belong before the cells; once cells refer to them they stay.
    bool FormatTablesInUse() const;

    TReadContext& context_;
    std::uint32_t codePage_ = 1252;  // of the file's texts
    bool fontsStarted_ = false;
    bool xfsStarted_ = false;
    bool xfRecords_ = false;     // the file has XF records (not only XFs made from attributes)
    std::uint16_t formats_ = 0;  // FORMAT records so far
    std::uint16_t ixfe_ = 0;
    // BIFF2 XFs made from cell attributes, by the attribute bytes.
    std::map<std::uint32_t, std::int32_t> attributeXfs_;
    // The cell of the formula whose text result a STRING record brings.
    std::int32_t pendingRow_ = -1, pendingCol_ = -1, pendingXF_ = -1;
};

}  // namespace vorlix

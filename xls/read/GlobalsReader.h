// The reader of the workbook globals: substreams, sheets, shared strings, fonts, number
// formats, cell formats, palette, encryption, passwords and the link-table records, and
// the finishing step that turns defined names into print areas, print titles and named
// ranges.
#pragma once

#include <string>

#include "xls/read/RecordCursor.h"
#include "xls/read/records/GlobalsRecords.h"

namespace vorlix {

class TReadContext;
class TVirtualFontTable;
class TVirtualXFTable;

class TGlobalsReader {
  public:
    TGlobalsReader(TReadContext& context, std::u16string password);

    void ReadBof(TRecordCursor& body);
    void ReadEof(TRecordCursor& body);
    void ReadBoundSheet(TRecordCursor& body);
    void ReadSst(TRecordCursor& body);
    void ReadFont(TRecordCursor& body);
    void ReadFormat(TRecordCursor& body);
    void ReadXf(TRecordCursor& body);
    void ReadPalette(TRecordCursor& body);
    void ReadFilePass(TRecordCursor& body);
    void ReadPassword(TRecordCursor& body);
    void ReadDateMode(TRecordCursor& body);
    void ReadCodePage(TRecordCursor& body);
    void ReadName(TRecordCursor& body);
    void ReadExternSheet(TRecordCursor& body);
    void ReadExternName(TRecordCursor& body);
    void ReadSupbook(TRecordCursor& body);

    // Defined names become print areas, print titles and named ranges: of every sheet, or
    // of the sheet at `position` alone.
    void ApplyDefinedNames(int position = -1);

  private:
    // Whether cells, rows or columns already point into the font and XF tables.
    bool FormatTablesInUse() const;

    TReadContext& context_;
    std::u16string password_;
    std::uint16_t globalsBofVersion_ = 0;  // the version field of the first BOF
    std::vector<records::TSstString> sstScratch_;
    bool fontsStarted_ = false;
    bool xfsStarted_ = false;
    bool formatKnown_ = false;
};

// The font table's edit buffer from a FONT record: the height in whole points (half a
// point rounds to the even neighbour), bold for the weight the format writes for bold
// alone, the palette index of the colour code, the low byte of the script field.
void LoadFont(const records::TFontRecord& font, TVirtualFontTable& fonts);
// The XF table's edit buffer from an XF record, the number format as its index (the
// reader turns it into a list position). For a solid fill the foreground covers the
// cell, so the model's fill colour is the pattern's foreground then, its background
// otherwise.
void LoadXf(const records::TXfRecord& xf, TVirtualXFTable& xfs);

}  // namespace vorlix

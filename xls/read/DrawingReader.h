// The reader of the drawing records: the picture store (MSODRAWINGGROUP), shape records
// (MSODRAWING), objects (OBJ), text objects (TXO) and notes (NOTE), collected in a
// TMSOData; and the finishing step that turns the collected shapes into sheet images and
// cell comments.
//
// An MSODRAWING and the CONTINUE records after it are one run of shape records, cut
// anywhere. Drawing data may also go on in a CONTINUE after an object: after an OBJ the
// first CONTINUE, after a TXO the first CONTINUE past the text and formatting runs the TXO
// announces. The reader reads that body as shape records, as if it were an MSODRAWING.
#pragma once

#include <memory>

#include "xls/read/RecordCursor.h"

namespace vorlix {

class TMSOData;
class TReadContext;

class TDrawingReader {
  public:
    explicit TDrawingReader(TReadContext& context);
    ~TDrawingReader();

    void ReadMsoDrawingGroup(TRecordCursor& body);
    void ReadMsoDrawing(TRecordCursor& body);
    void ReadObj(TRecordCursor& body);
    void ReadTxo(TRecordCursor& body);
    void ReadNote(TRecordCursor& body);
    // The last finishing step: pictures become sheet images, comments cell comments.
    void PlaceDrawings();

    const TMSOData& Drawings() const { return *drawings_; }

  private:
    TReadContext& context_;
    std::unique_ptr<TMSOData> drawings_;
};

}  // namespace vorlix

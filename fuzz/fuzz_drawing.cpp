// The drawing records: the picture store, then a sequence of drawing records (shapes, OBJ,
// comment texts and runs, NOTE), each a type byte and a body with its length first, as the
// reader feeds them; then the pruning of what no object names. Each body also goes through
// the record decoders on its own.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/ByteCursor.h"
#include "xls/model/Errors.h"
#include "xls/read/TMSOData.h"
#include "xls/read/records/DrawingRecords.h"

using namespace vorlix;

namespace {

void DecodeAlone(std::string_view bytes) {
    using platform::TByteCursor;
    {
        TByteCursor c(bytes);
        (void)records::DecodeMSOHeader(c);
        (void)records::DecodeBse(c);
    }
    {
        TByteCursor c(bytes);
        (void)records::DecodeClientAnchor(c);
    }
    {
        TByteCursor c(bytes);
        (void)records::DecodeObj(c);
    }
    {
        TByteCursor c(bytes);
        (void)records::DecodeTxo(c);
        (void)records::DecodeTxoText(c);
    }
    {
        TByteCursor c(bytes);
        (void)records::DecodeNote(c);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::TInputSplitter in(data, size);
    TMSOData drawings;
    try {
        const std::string_view store = in.Piece();
        DecodeAlone(store);
        drawings.ReadPictureStore(platform::TByteCursor(store));
        while (!in.Empty()) {
            const std::uint8_t type = in.U8();
            const std::string_view body = in.Piece();
            DecodeAlone(body);
            const std::int32_t sheet = type >> 4;
            switch (type % 5) {
                case 0:
                    drawings.ReadShapes(platform::TByteCursor(body), sheet);
                    break;
                case 1:
                    drawings.ReadObj(platform::TByteCursor(body));
                    break;
                case 2:
                    if (drawings.LastObjectType() == records::TObjRecord::kComment) {
                        platform::TByteCursor c(body);
                        drawings.SetCommentText(records::DecodeTxoText(c));
                    }
                    break;
                case 3:
                    if (drawings.LastObjectType() == records::TObjRecord::kComment)
                        drawings.SetCommentRuns(std::string(body));
                    break;
                default:
                    drawings.ReadNote(platform::TByteCursor(body), sheet);
                    break;
            }
        }
        drawings.Prune();
    } catch (const Exception&) {
        return 0;
    }
    // Read what the store and the shapes kept, as placing them on the sheets does.
    for (int i = 0; i < drawings.PictureCount(); ++i)
        (void)drawings.Picture(i).Data.Size();
    for (int i = 0; i < drawings.ShapeCount(); ++i)
        (void)drawings.Shape(i).Kind();
    return 0;
}

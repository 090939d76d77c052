// A workbook stream alone: the input is read as the "Workbook" stream of a document that
// holds nothing else, so every mutation lands in the record layer and the reader. The
// stream is read from memory; no compound document is written or parsed for it.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vorlix::fuzz::ReadWorkbookStream(data, size);
    return 0;
}

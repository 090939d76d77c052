// A workbook stream alone: the input becomes the "Workbook" stream of a well-formed
// compound document, so every mutation lands in the record layer and the reader.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "fuzz/FuzzSupport.h"
#include "tests/support/XlsBuilder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto file = std::make_unique<vorlix::fuzz::TMemoryFile>();
    const vorlix::test::Bytes document =
        vorlix::test::CompoundBytes({{"Workbook", vorlix::test::Bytes(data, data + size)}});
    if (!file->Write(document.data(), document.size())) return 0;
    vorlix::fuzz::ReadWorkbook(file->Path());
    return 0;
}

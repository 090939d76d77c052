// A whole workbook file from memory: the compound document, the record stream, decryption
// with the default password, every finishing step and the drawings, then the cells'
// display texts.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto file = std::make_unique<vorlix::fuzz::TMemoryFile>();
    if (!file->Write(data, size)) return 0;
    vorlix::fuzz::ReadWorkbook(file->Path());
    return 0;
}

#include "xls/model/Crc32.h"

#include <zlib.h>

namespace vorlix {

// zlib's CRC-32 is this polynomial with the register inverted before and after; it reads
// several bytes per step, which matters because every cell that changes its font or format
// hashes a whole record here.
std::uint32_t CrcUpdate(std::uint32_t reg, const void* bytes, std::size_t count) {
    if (count == 0) return reg;  // zlib answers a null buffer with its start value
    return ~static_cast<std::uint32_t>(crc32_z(~reg, static_cast<const Bytef*>(bytes), count));
}

}  // namespace vorlix

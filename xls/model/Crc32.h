// CRC-32 (the reflected polynomial 0xEDB88320 of zip and PNG), used as the hash of the
// keyed containers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorlix {

// One CRC-32 step over `count` bytes. No inversion at either end: the caller chooses the
// start value and whether to invert the result (the published check value is
// ~CrcUpdate(0xFFFFFFFF, "123456789", 9) == 0xCBF43926).
std::uint32_t CrcUpdate(std::uint32_t reg, const void* bytes, std::size_t count);

}  // namespace vorlix

// SHA-256 digests of byte blocks, as lower-case hexadecimal text: a fingerprint of data
// that scripts can compare without the data itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vorlix::platform {

// The 64 hexadecimal digits of the SHA-256 digest of `size` bytes at `data`.
std::string Sha256Hex(const std::uint8_t* data, std::size_t size);

}  // namespace vorlix::platform

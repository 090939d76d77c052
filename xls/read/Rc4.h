// The RC4 stream cipher.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vorlix {

struct Rc4State {
    std::array<std::uint8_t, 256> s{};
    std::uint8_t i = 0;
    std::uint8_t j = 0;

    // Key schedule; both indexes start at 0.
    void Init(const std::uint8_t* key, std::size_t keyLength);
    // XORs `size` bytes of `in` with the next key-stream bytes into `out` (may be `in`).
    void Apply(const std::uint8_t* in, std::uint8_t* out, std::size_t size);
};

}  // namespace vorlix

#include "xls/read/Rc4.h"

#include <utility>

namespace vorlix {

void Rc4State::Init(const std::uint8_t* key, std::size_t keyLength) {
    for (int k = 0; k < 256; ++k)
        s[k] = static_cast<std::uint8_t>(k);
    std::uint8_t b = 0;
    for (int k = 0; k < 256; ++k) {
        b = static_cast<std::uint8_t>(b + s[k] + key[k % keyLength]);
        std::swap(s[k], s[b]);
    }
    i = 0;
    j = 0;
}

void Rc4State::Apply(const std::uint8_t* in, std::uint8_t* out, std::size_t size) {
    for (std::size_t n = 0; n < size; ++n) {
        i = static_cast<std::uint8_t>(i + 1);
        j = static_cast<std::uint8_t>(j + s[i]);
        std::swap(s[i], s[j]);
        out[n] = in[n] ^ s[static_cast<std::uint8_t>(s[i] + s[j])];
    }
}

}  // namespace vorlix

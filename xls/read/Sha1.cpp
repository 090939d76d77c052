#include "xls/read/Sha1.h"

#include <algorithm>
#include <cstring>

namespace vorlix {

namespace {

inline std::uint32_t Rotl(std::uint32_t x, int n) {
    return x << n | x >> (32 - n);
}

}  // namespace

Sha1::Sha1() : state_{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0} {}

// One 64-byte block; the message words are big-endian.
void Sha1::Transform(const std::uint8_t* block) {
    std::uint32_t w[80];
    for (int t = 0; t < 16; ++t) {
        w[t] = static_cast<std::uint32_t>(block[4 * t]) << 24 |
               static_cast<std::uint32_t>(block[4 * t + 1]) << 16 |
               static_cast<std::uint32_t>(block[4 * t + 2]) << 8 | block[4 * t + 3];
    }
    for (int t = 16; t < 80; ++t)
        w[t] = Rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    for (int t = 0; t < 80; ++t) {
        std::uint32_t f = 0;
        std::uint32_t k = 0;
        if (t < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (t < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (t < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        const std::uint32_t next = Rotl(a, 5) + f + e + k + w[t];
        e = d;
        d = c;
        c = Rotl(b, 30);
        b = a;
        a = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

void Sha1::Update(const void* data, std::size_t size) {
    const auto* in = static_cast<const std::uint8_t*>(data);
    std::size_t filled = static_cast<std::size_t>(length_ % 64);
    length_ += size;
    while (size > 0) {
        const std::size_t take = std::min(size, 64 - filled);
        std::memcpy(buffer_.data() + filled, in, take);
        filled += take;
        in += take;
        size -= take;
        if (filled == 64) {
            Transform(buffer_.data());
            filled = 0;
        }
    }
}

Sha1Digest Sha1::Final() {
    const std::uint64_t bits = length_ * 8;
    const std::uint8_t one = 0x80;
    Update(&one, 1);
    const std::uint8_t zero = 0;
    while (length_ % 64 != 56)
        Update(&zero, 1);
    std::uint8_t tail[8];
    for (int i = 0; i < 8; ++i)
        tail[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    Update(tail, sizeof tail);
    Sha1Digest out{};
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 4; ++j)
            out[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * j));
    }
    return out;
}

Sha1Digest Sha1::Of(const void* data, std::size_t size) {
    Sha1 sha;
    sha.Update(data, size);
    return sha.Final();
}

}  // namespace vorlix

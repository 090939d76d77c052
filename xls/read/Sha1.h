// SHA-1 message digest (FIPS 180-4), for the key derivation of RC4 with the CryptoAPI.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vorlix {

using Sha1Digest = std::array<std::uint8_t, 20>;

class Sha1 {
  public:
    Sha1();
    void Update(const void* data, std::size_t size);
    Sha1Digest Final();

    static Sha1Digest Of(const void* data, std::size_t size);

  private:
    void Transform(const std::uint8_t* block);

    std::array<std::uint32_t, 5> state_;
    std::uint64_t length_ = 0;  // bytes fed so far
    std::array<std::uint8_t, 64> buffer_{};
};

}  // namespace vorlix

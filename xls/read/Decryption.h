// The RC4 encryption of BIFF8 workbooks: password verification against the FILEPASS
// record and the per-block decryption of the workbook stream.
//
// The key stream restarts at every 1024-byte block of the stream; block b uses the key
// MD5(first 5 bytes of the key material, b as 32-bit little-endian). The key material is
// MD5 of 16 copies of (first 5 bytes of MD5(password as UTF-16LE), salt).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/ByteCursor.h"
#include "xls/model/TEasyStream.h"
#include "xls/read/Rc4.h"

namespace vorlix {

using KeyMaterial = std::array<std::uint8_t, 16>;
using Block16 = std::array<std::uint8_t, 16>;

inline constexpr int kCipherBlockSize = 1024;
inline constexpr std::size_t kMaxPasswordLength = 15;

// The password the format prescribes for workbooks encrypted without a user password.
inline constexpr char16_t kDefaultPassword[] = u"VelvetSweatshop";

// The fields of a FILEPASS body; fields a short body lacks read as zeros.
struct TFilePass {
    std::uint16_t EncryptionType = 0;  // 1: RC4
    std::uint16_t MajorVersion = 0;
    std::uint16_t MinorVersion = 0;  // 1: RC4, 2: RC4 with the CryptoAPI
    Block16 Salt{};
    Block16 EncryptedVerifier{};
    Block16 EncryptedVerifierHash{};
};
TFilePass DecodeFilePass(platform::TByteCursor& body);
// The FILEPASS fields of a whole record body.
TFilePass ReadFilePass(const TEasyStream& body);

// Derives the key material into `key` (always) and tells whether the password matches the
// verifier. Raises Exception("File protection password must have 0-15 characters.") for a
// password longer than 15 code units.
bool VerifyPassword(const std::u16string& password, const Block16& salt,
                    const Block16& encryptedVerifier, const Block16& encryptedVerifierHash,
                    KeyMaterial& key);
inline bool VerifyPassword(const std::u16string& password, const TFilePass& filePass,
                           KeyMaterial& key) {
    return VerifyPassword(password, filePass.Salt, filePass.EncryptedVerifier,
                          filePass.EncryptedVerifierHash, key);
}

// The RC4 state that decrypts block number `block`.
Rc4State MakeBlockKey(const KeyMaterial& key, std::uint32_t block);

// Decrypts one 1024-byte block with the key of its number; `state` is left as used.
void DecryptBlock(const std::uint8_t* raw, std::uint8_t* plain, std::uint32_t block,
                  const KeyMaterial& key, Rc4State& state);

}  // namespace vorlix

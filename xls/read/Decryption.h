// The encryptions of the workbook stream after a FILEPASS record: password verification
// and the decryption of the record bodies.
//
// RC4 (BIFF8, FILEPASS type 1 version 1.1): the key stream restarts at every 1024-byte
// block of the stream; block b uses the key MD5(first 5 bytes of the key material, b as
// 32-bit little-endian). The key material is MD5 of 16 copies of (first 5 bytes of
// MD5(password as UTF-16LE), salt).
//
// RC4 with the CryptoAPI (BIFF8, type 1 version 2.2, 3.2 or 4.2): the same 1024-byte blocks,
// block b keyed with SHA-1(H0, b as 32-bit little-endian) where H0 = SHA-1(salt, password as
// UTF-16LE), cut to the key size of the header; a 40-bit key is padded with zeros to 128 bits.
//
// XOR obfuscation (BIFF8 type 0, and the only scheme of the older formats, whose FILEPASS
// has no type): every byte is XORed with one of a 16-byte array made from the password and
// rotated right by 5 bits. The array position of a body's first byte is (its stream offset
// + the body length) modulo 16, and it moves on with every byte.
//
// With every scheme the record headers stay in clear, as do the bodies of the records
// InClearRecord names and the stream position at the start of BOUNDSHEET; the position in
// the key stream moves on over them all the same.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ByteCursor.h"
#include "xls/model/TEasyStream.h"
#include "xls/model/TWorkbook.h"
#include "xls/read/Rc4.h"
#include "xls/read/Sha1.h"

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

// The decryption of the record bodies after a FILEPASS record.
class TStreamCipher {
  public:
    virtual ~TStreamCipher() = default;
    // Decrypts `size` bytes in place: bytes of the body of a record `recordLength` bytes
    // long, the first of them at stream offset `offset`. Calls come in stream order.
    virtual void Decrypt(std::uint8_t* data, std::size_t size, std::int64_t offset,
                         std::size_t recordLength) = 0;
};

// RC4 keyed anew at every 1024-byte block of the stream.
class TBlockRc4Cipher : public TStreamCipher {
  public:
    void Decrypt(std::uint8_t* data, std::size_t size, std::int64_t offset,
                 std::size_t recordLength) override;

  protected:
    virtual Rc4State BlockKey(std::uint32_t block) const = 0;

  private:
    Rc4State state_;
    std::int64_t block_ = -1;
    std::int64_t used_ = 0;  // key-stream bytes of the block used so far
};

// RC4 with MD5 keys.
class TRc4Cipher : public TBlockRc4Cipher {
  public:
    explicit TRc4Cipher(const KeyMaterial& key) : key_(key) {}

  protected:
    Rc4State BlockKey(std::uint32_t block) const override { return MakeBlockKey(key_, block); }

  private:
    KeyMaterial key_;
};

// RC4 with SHA-1 keys of the CryptoAPI.
class TCryptoApiCipher : public TBlockRc4Cipher {
  public:
    // `hash`: SHA-1(salt, password); `keyBits`: 40 to 128 in steps of 8.
    TCryptoApiCipher(const Sha1Digest& hash, std::uint32_t keyBits)
        : hash_(hash), keyBits_(keyBits) {}

  protected:
    Rc4State BlockKey(std::uint32_t block) const override;

  private:
    Sha1Digest hash_;
    std::uint32_t keyBits_;
};

using XorArray = std::array<std::uint8_t, 16>;

class TXorCipher : public TStreamCipher {
  public:
    explicit TXorCipher(const XorArray& array) : array_(array) {}
    void Decrypt(std::uint8_t* data, std::size_t size, std::int64_t offset,
                 std::size_t recordLength) override;

  private:
    XorArray array_;
};

// The password as the XOR obfuscation takes it: one byte a character, the low byte unless
// it is zero, then the high byte.
std::string XorPasswordBytes(const std::u16string& password);
// The 16-bit key and verifier of a password (1 to 15 bytes) and its 16-byte array.
std::uint16_t XorKeyOf(const std::string& password);
std::uint16_t XorVerifierOf(const std::string& password);
XorArray XorArrayOf(const std::string& password);

// The bodies the encryption leaves in clear (their headers are always in clear).
bool InClearRecord(std::uint16_t id);
// Bytes at the start of a body that stay in clear: BOUNDSHEET's stream position.
std::size_t InClearPrefix(std::uint16_t id);

// Raises Exception("File protection password must have 0-15 characters.") for a longer
// password.
void CheckPasswordLength(const std::u16string& password);

// What a FILEPASS record says: its scheme and what verifies a password against it.
class TFilePassScheme {
  public:
    // Reads a FILEPASS body: with `typed` the BIFF8 layout (encryption type first), else the
    // older one (XOR key and verifier only). Raises Exception for a scheme this reader does
    // not decrypt: "Error: data is protected, and this encryption type not supported." for
    // an unknown type or cipher, "Error: strong encryption not supported." for an RC4
    // header of an unknown version.
    static TFilePassScheme Decode(platform::TByteCursor& body, bool typed);

    TEncryption Encryption() const { return encryption_; }
    // The cipher that decrypts the stream when `password` is the workbook's, else nullptr.
    // Raises Exception("File protection password must have 0-15 characters.") for a longer
    // password.
    std::unique_ptr<TStreamCipher> Open(const std::u16string& password) const;

  private:
    TEncryption encryption_ = TEncryption::None;
    TFilePass rc4_;
    std::uint16_t xorKey_ = 0;
    std::uint16_t xorVerifier_ = 0;
    std::uint32_t keyBits_ = 0;
    std::array<std::uint8_t, 20> verifierHash_{};
};

}  // namespace vorlix

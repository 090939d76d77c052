#include "xls/read/Decryption.h"

#include <algorithm>
#include <cstring>

#include "xls/model/Errors.h"
#include "xls/model/TEasyStream.h"
#include "xls/read/Md5.h"
#include "xls/read/RecordIds.h"

namespace vorlix {

TFilePass DecodeFilePass(platform::TByteCursor& body) {
    TFilePass f;
    f.EncryptionType = body.U16();
    f.MajorVersion = body.U16();
    f.MinorVersion = body.U16();
    for (Block16* block : {&f.Salt, &f.EncryptedVerifier, &f.EncryptedVerifierHash}) {
        const std::string_view bytes = body.Bytes(block->size());
        std::copy(bytes.begin(), bytes.end(), block->begin());
    }
    return f;
}

TFilePass ReadFilePass(const TEasyStream& body) {
    platform::TByteCursor cursor = body.Cursor();
    return DecodeFilePass(cursor);
}

bool VerifyPassword(const std::u16string& password, const Block16& salt,
                    const Block16& encryptedVerifier, const Block16& encryptedVerifierHash,
                    KeyMaterial& key) {
    if (password.size() > kMaxPasswordLength) {
        throw Exception("File protection password must have 0-15 characters.");
    }
    std::uint8_t utf16[2 * kMaxPasswordLength];
    for (std::size_t i = 0; i < password.size(); ++i) {
        utf16[2 * i] = static_cast<std::uint8_t>(password[i] & 0xFF);
        utf16[2 * i + 1] = static_cast<std::uint8_t>(password[i] >> 8);
    }
    const Md5Digest h0 = Md5::Of(utf16, 2 * password.size());

    std::uint8_t message[16 * 21];
    for (int k = 0; k < 16; ++k) {
        std::memcpy(message + 21 * k, h0.data(), 5);
        std::memcpy(message + 21 * k + 5, salt.data(), 16);
    }
    key = Md5::Of(message, sizeof message);

    Rc4State state = MakeBlockKey(key, 0);
    Block16 verifier{};
    Block16 verifierHash{};
    state.Apply(encryptedVerifier.data(), verifier.data(), 16);
    state.Apply(encryptedVerifierHash.data(), verifierHash.data(), 16);
    return Md5::Of(verifier.data(), verifier.size()) == verifierHash;
}

Rc4State MakeBlockKey(const KeyMaterial& key, std::uint32_t block) {
    std::uint8_t seed[9];
    std::memcpy(seed, key.data(), 5);
    for (int i = 0; i < 4; ++i)
        seed[5 + i] = static_cast<std::uint8_t>(block >> (8 * i));
    const Md5Digest blockKey = Md5::Of(seed, sizeof seed);
    Rc4State state;
    state.Init(blockKey.data(), blockKey.size());
    return state;
}

void DecryptBlock(const std::uint8_t* raw, std::uint8_t* plain, std::uint32_t block,
                  const KeyMaterial& key, Rc4State& state) {
    state = MakeBlockKey(key, block);
    state.Apply(raw, plain, kCipherBlockSize);
}

namespace {

constexpr const char* kUnsupportedType =
    "Error: data is protected, and this encryption type not supported.";
constexpr const char* kUnsupportedVersion = "Error: strong encryption not supported.";

constexpr std::uint16_t kXorType = 0;
constexpr std::uint16_t kRc4Type = 1;
constexpr std::uint32_t kRc4AlgId = 0x6801;
constexpr std::uint32_t kSha1AlgId = 0x8004;
constexpr std::uint32_t kSaltSize = 16;
constexpr std::uint32_t kSha1Size = 20;
constexpr std::size_t kCryptoApiHeaderFixed = 32;  // the header before the provider name

// Records of shared workbooks that stay in clear (the record list has no names for most).
constexpr std::uint16_t kRrdHeadId = 0x0138;
constexpr std::uint16_t kUsrExclId = 0x0194;
constexpr std::uint16_t kFileLockId = rec::kFileSharing2;  // 0x0195
constexpr std::uint16_t kRrdInfoId = 0x0196;

std::uint8_t RotateRight(std::uint8_t v, int n) {
    return static_cast<std::uint8_t>(v >> n | v << (8 - n));
}

// The initial key for each password length, and the matrix whose rows the bits of the
// password's characters select (7 bits a character, from the last character back).
constexpr std::uint16_t kXorInitialCode[15] = {0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C,
                                               0x0E10, 0xF1CE, 0x313E, 0x1872, 0xE139,
                                               0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3};
constexpr std::uint16_t kXorMatrix[105] = {
    0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09, 0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7,
    0x9DCF, 0x2BBF, 0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0, 0x0375, 0x06EA, 0x0DD4,
    0x1BA8, 0x3750, 0x6EA0, 0xDD40, 0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5, 0x6F45,
    0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A, 0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC,
    0x5FD9, 0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0, 0xB861, 0x60E3, 0xC1C6, 0x93AD,
    0x377B, 0x6EF6, 0xDDEC, 0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10, 0xAA51, 0x4483,
    0x8906, 0x022D, 0x045A, 0x08B4, 0x1168, 0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C,
    0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD, 0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373,
    0x06E6, 0x0DCC, 0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4};
// What follows the password in the XOR array.
constexpr std::uint8_t kXorPad[15] = {0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80,
                                      0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00};

}  // namespace

void CheckPasswordLength(const std::u16string& password) {
    if (password.size() > kMaxPasswordLength) {
        throw Exception("File protection password must have 0-15 characters.");
    }
}

void TBlockRc4Cipher::Decrypt(std::uint8_t* data, std::size_t size, std::int64_t offset,
                              std::size_t) {
    while (size > 0) {
        const std::int64_t block = offset / kCipherBlockSize;
        const std::int64_t at = offset % kCipherBlockSize;
        if (block != block_ || at < used_) {
            state_ = BlockKey(static_cast<std::uint32_t>(block));
            block_ = block;
            used_ = 0;
        }
        // The key stream moves on over the bytes in clear between the calls.
        std::uint8_t skipped[64];
        while (used_ < at) {
            const auto n = static_cast<std::size_t>(std::min<std::int64_t>(at - used_, 64));
            state_.Apply(skipped, skipped, n);
            used_ += static_cast<std::int64_t>(n);
        }
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(size), kCipherBlockSize - at));
        state_.Apply(data, data, n);
        used_ += static_cast<std::int64_t>(n);
        data += n;
        offset += static_cast<std::int64_t>(n);
        size -= n;
    }
}

Rc4State TCryptoApiCipher::BlockKey(std::uint32_t block) const {
    std::uint8_t seed[24];
    std::memcpy(seed, hash_.data(), hash_.size());
    for (int i = 0; i < 4; ++i)
        seed[20 + i] = static_cast<std::uint8_t>(block >> (8 * i));
    const Sha1Digest blockHash = Sha1::Of(seed, sizeof seed);
    // A 40-bit key is keyed as 128 bits, the rest zeros.
    std::uint8_t key[16] = {};
    const std::size_t bytes = keyBits_ / 8;
    std::memcpy(key, blockHash.data(), bytes);
    Rc4State state;
    state.Init(key, keyBits_ == 40 ? sizeof key : bytes);
    return state;
}

void TXorCipher::Decrypt(std::uint8_t* data, std::size_t size, std::int64_t offset,
                         std::size_t recordLength) {
    std::size_t at =
        static_cast<std::size_t>(offset + static_cast<std::int64_t>(recordLength)) % 16;
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = RotateRight(static_cast<std::uint8_t>(data[i] ^ array_[at]), 5);
        at = (at + 1) % 16;
    }
}

std::string XorPasswordBytes(const std::u16string& password) {
    std::string bytes;
    for (char16_t c : password) {
        const auto low = static_cast<std::uint8_t>(c & 0xFF);
        bytes += static_cast<char>(low != 0 ? low : static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

std::uint16_t XorKeyOf(const std::string& password) {
    if (password.empty() || password.size() > 15) return 0;
    std::uint16_t key = kXorInitialCode[password.size() - 1];
    int element = 104;
    for (auto it = password.rbegin(); it != password.rend(); ++it) {
        auto c = static_cast<std::uint8_t>(*it);
        for (int bit = 0; bit < 7; ++bit) {
            if ((c & 0x40) != 0) key ^= kXorMatrix[element];
            c = static_cast<std::uint8_t>(c << 1);
            --element;
        }
    }
    return key;
}

// The verifier takes the characters from the last one back, and the length last.
std::uint16_t XorVerifierOf(const std::string& password) {
    std::uint16_t verifier = 0;
    const auto step = [&](std::uint8_t byte) {
        const std::uint16_t carry = (verifier & 0x4000) != 0 ? 1 : 0;
        verifier = static_cast<std::uint16_t>(((verifier << 1) & 0x7FFF) | carry) ^ byte;
    };
    for (auto it = password.rbegin(); it != password.rend(); ++it)
        step(static_cast<std::uint8_t>(*it));
    step(static_cast<std::uint8_t>(password.size()));
    return verifier ^ 0xCE4B;
}

// The password, then the padding, each byte XORed with the key's low byte at even
// positions and its high byte at odd ones, then rotated right by 1 bit.
XorArray XorArrayOf(const std::string& password) {
    const std::uint16_t key = XorKeyOf(password);
    XorArray array{};
    for (std::size_t i = 0; i < array.size(); ++i) {
        const std::uint8_t source = i < password.size() ? static_cast<std::uint8_t>(password[i])
                                                        : kXorPad[i - password.size()];
        const auto keyByte = static_cast<std::uint8_t>(i % 2 == 0 ? key & 0xFF : key >> 8);
        array[i] = RotateRight(static_cast<std::uint8_t>(source ^ keyByte), 1);
    }
    return array;
}

bool InClearRecord(std::uint16_t id) {
    switch (id) {
        case rec::kBof:
        case rec::kFilePass:
        case kUsrExclId:
        case kFileLockId:
        case rec::kInterfaceHdr:
        case kRrdInfoId:
        case kRrdHeadId:
            return true;
        default:
            return false;
    }
}

std::size_t InClearPrefix(std::uint16_t id) {
    return id == rec::kBoundSheet8 ? 4 : 0;
}

TFilePassScheme TFilePassScheme::Decode(platform::TByteCursor& body, bool typed) {
    TFilePassScheme scheme;
    const std::uint16_t type = typed ? body.U16() : kXorType;
    if (type == kXorType) {
        scheme.encryption_ = TEncryption::Xor;
        scheme.xorKey_ = body.U16();
        scheme.xorVerifier_ = body.U16();
        return scheme;
    }
    if (type != kRc4Type) throw Exception(kUnsupportedType);
    const std::size_t start = body.Position();
    const std::uint16_t major = body.U16();
    const std::uint16_t minor = body.U16();
    if (major == 1 && minor == 1) {
        body.Seek(start - 2);
        scheme.rc4_ = DecodeFilePass(body);
        scheme.encryption_ = TEncryption::Rc4;
        return scheme;
    }
    if (major < 2 || major > 4 || minor != 2) throw Exception(kUnsupportedVersion);

    body.Skip(4);  // flags, repeated in the header
    const std::uint32_t headerSize = body.U32();
    if (headerSize < kCryptoApiHeaderFixed || !body.Has(headerSize)) {
        throw Exception(kUnsupportedType);
    }
    const std::size_t headerStart = body.Position();
    body.Skip(8);  // flags, size of extra data
    const std::uint32_t algorithm = body.U32();
    const std::uint32_t hash = body.U32();
    std::uint32_t keyBits = body.U32();
    body.Seek(headerStart + headerSize);  // provider type, reserved, provider name
    if (keyBits == 0) keyBits = 40;
    if ((algorithm != 0 && algorithm != kRc4AlgId) || (hash != 0 && hash != kSha1AlgId) ||
        keyBits < 40 || keyBits > 128 || keyBits % 8 != 0) {
        throw Exception(kUnsupportedType);
    }
    if (body.U32() != kSaltSize) throw Exception(kUnsupportedType);
    for (Block16* block : {&scheme.rc4_.Salt, &scheme.rc4_.EncryptedVerifier}) {
        const std::string_view bytes = body.Bytes(block->size());
        std::copy(bytes.begin(), bytes.end(), block->begin());
    }
    if (body.U32() != kSha1Size) throw Exception(kUnsupportedType);
    const std::string_view verifierHash = body.Bytes(kSha1Size);
    std::copy(verifierHash.begin(), verifierHash.end(), scheme.verifierHash_.begin());
    scheme.rc4_.EncryptionType = type;
    scheme.rc4_.MajorVersion = major;
    scheme.rc4_.MinorVersion = minor;
    scheme.keyBits_ = keyBits;
    scheme.encryption_ = TEncryption::Rc4CryptoApi;
    return scheme;
}

std::unique_ptr<TStreamCipher> TFilePassScheme::Open(const std::u16string& password) const {
    CheckPasswordLength(password);
    switch (encryption_) {
        case TEncryption::Xor: {
            const std::string bytes = XorPasswordBytes(password);
            if (bytes.empty() || XorKeyOf(bytes) != xorKey_ ||
                XorVerifierOf(bytes) != xorVerifier_) {
                return nullptr;
            }
            return std::make_unique<TXorCipher>(XorArrayOf(bytes));
        }
        case TEncryption::Rc4: {
            KeyMaterial key{};
            if (!VerifyPassword(password, rc4_, key)) return nullptr;
            return std::make_unique<TRc4Cipher>(key);
        }
        case TEncryption::Rc4CryptoApi: {
            Sha1 h0;
            h0.Update(rc4_.Salt.data(), rc4_.Salt.size());
            for (char16_t c : password) {
                const std::uint8_t unit[2] = {static_cast<std::uint8_t>(c & 0xFF),
                                              static_cast<std::uint8_t>(c >> 8)};
                h0.Update(unit, sizeof unit);
            }
            auto cipher = std::make_unique<TCryptoApiCipher>(h0.Final(), keyBits_);
            // The verifier and its hash are encrypted one after the other with block 0's
            // key; the stream's own decryption starts again at the stream's block 0.
            std::array<std::uint8_t, 16 + kSha1Size> check{};
            std::copy(rc4_.EncryptedVerifier.begin(), rc4_.EncryptedVerifier.end(), check.begin());
            std::copy(verifierHash_.begin(), verifierHash_.end(), check.begin() + 16);
            TCryptoApiCipher verifying(*cipher);
            verifying.Decrypt(check.data(), check.size(), 0, check.size());
            const Sha1Digest expected = Sha1::Of(check.data(), 16);
            if (!std::equal(expected.begin(), expected.end(), check.begin() + 16)) return nullptr;
            return cipher;
        }
        case TEncryption::None:
            break;
    }
    return nullptr;
}

}  // namespace vorlix

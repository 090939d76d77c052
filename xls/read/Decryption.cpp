#include "xls/read/Decryption.h"

#include <algorithm>
#include <cstring>

#include "xls/model/Errors.h"
#include "xls/model/TEasyStream.h"
#include "xls/read/Md5.h"

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

}  // namespace vorlix

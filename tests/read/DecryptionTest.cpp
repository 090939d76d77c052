#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/XlsBuilder.h"
#include "xls/model/Errors.h"
#include "xls/read/Decryption.h"
#include "xls/read/Md5.h"
#include "xls/read/Rc4.h"
#include "xls/read/Sha1.h"

using namespace vorlix;

namespace {

std::string Hex(const std::uint8_t* p, std::size_t n) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

std::string Md5Hex(const std::string& s) {
    const Md5Digest d = Md5::Of(s.data(), s.size());
    return Hex(d.data(), d.size());
}

struct FilePassFields {
    Block16 salt{}, verifier{}, hash{};
};

FilePassFields FieldsFor(const std::u16string& password, KeyMaterial* key = nullptr) {
    std::array<std::uint8_t, 16> salt{};
    for (int i = 0; i < 16; ++i)
        salt[i] = static_cast<std::uint8_t>(0xA0 + i * 3);
    std::array<std::uint8_t, 16> k{};
    const test::Bytes body = test::MakeFilePassBody(password, salt, &k);
    if (key != nullptr) std::memcpy(key->data(), k.data(), 16);
    FilePassFields f;
    std::memcpy(f.salt.data(), body.data() + 6, 16);
    std::memcpy(f.verifier.data(), body.data() + 22, 16);
    std::memcpy(f.hash.data(), body.data() + 38, 16);
    return f;
}

}  // namespace

TEST(Md5Test, PublishedTestSuite) {
    EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Md5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(
        Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
        "57edf4a22be3c955ac49da2e2107b67a");
    // Fed in pieces that cross the 64-byte blocks.
    const std::string text(1000, 'x');
    Md5 md5;
    for (std::size_t at = 0; at < text.size(); at += 37) {
        md5.Update(text.data() + at, std::min<std::size_t>(37, text.size() - at));
    }
    const Md5Digest pieces = md5.Final();
    EXPECT_EQ(Hex(pieces.data(), 16), Md5Hex(text));
}

TEST(Rc4Test, PublishedVectors) {
    const auto run = [](const std::string& key, const std::string& text) {
        Rc4State st;
        st.Init(reinterpret_cast<const std::uint8_t*>(key.data()), key.size());
        std::string out(text.size(), '\0');
        st.Apply(reinterpret_cast<const std::uint8_t*>(text.data()),
                 reinterpret_cast<std::uint8_t*>(out.data()), text.size());
        return Hex(reinterpret_cast<const std::uint8_t*>(out.data()), out.size());
    };
    EXPECT_EQ(run("Key", "Plaintext"), "bbf316e8d940af0ad3");
    EXPECT_EQ(run("Wiki", "pedia"), "1021bf0420");
    EXPECT_EQ(run("Secret", "Attack at dawn"), "45a01f645fc35b383552544b9bf5");
}

TEST(VerifyPasswordTest, RightWrongAndDefaultPasswords) {
    KeyMaterial expected{};
    const FilePassFields user = FieldsFor(u"open sesame", &expected);
    KeyMaterial key{};
    EXPECT_TRUE(VerifyPassword(u"open sesame", user.salt, user.verifier, user.hash, key));
    EXPECT_EQ(key, expected);
    EXPECT_FALSE(VerifyPassword(u"Open sesame", user.salt, user.verifier, user.hash, key));
    EXPECT_FALSE(VerifyPassword(u"", user.salt, user.verifier, user.hash, key));

    const FilePassFields byDefault = FieldsFor(kDefaultPassword);
    EXPECT_FALSE(VerifyPassword(u"", byDefault.salt, byDefault.verifier, byDefault.hash, key));
    EXPECT_TRUE(
        VerifyPassword(kDefaultPassword, byDefault.salt, byDefault.verifier, byDefault.hash, key));

    const FilePassFields empty = FieldsFor(u"");
    EXPECT_TRUE(VerifyPassword(u"", empty.salt, empty.verifier, empty.hash, key));
}

TEST(VerifyPasswordTest, KeyMaterialIsWrittenEvenWhenThePasswordIsWrong) {
    KeyMaterial right{};
    const FilePassFields f = FieldsFor(u"abc", &right);
    KeyMaterial wrong{};
    EXPECT_FALSE(VerifyPassword(u"abd", f.salt, f.verifier, f.hash, wrong));
    EXPECT_NE(wrong, KeyMaterial{});
    EXPECT_NE(wrong, right);
}

TEST(VerifyPasswordTest, PasswordsLongerThanFifteenAreRefused) {
    const FilePassFields f = FieldsFor(kDefaultPassword);
    KeyMaterial key{};
    EXPECT_NO_THROW(VerifyPassword(u"123456789012345", f.salt, f.verifier, f.hash, key));
    try {
        VerifyPassword(u"1234567890123456", f.salt, f.verifier, f.hash, key);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "File protection password must have 0-15 characters.");
    }
}

TEST(DecryptBlockTest, KeyStreamRestartsForEveryBlock) {
    KeyMaterial key{};
    for (int i = 0; i < 16; ++i)
        key[i] = static_cast<std::uint8_t>(i);
    std::uint8_t zeros[kCipherBlockSize] = {};
    std::uint8_t block3[kCipherBlockSize], again[kCipherBlockSize], block4[kCipherBlockSize];
    Rc4State state;
    DecryptBlock(zeros, block3, 3, key, state);
    DecryptBlock(zeros, again, 3, key, state);
    DecryptBlock(zeros, block4, 4, key, state);
    EXPECT_EQ(0, std::memcmp(block3, again, kCipherBlockSize));
    EXPECT_NE(0, std::memcmp(block3, block4, kCipherBlockSize));
    // The key stream of block b is RC4 keyed with MD5(key[0..4], b).
    Rc4State direct = MakeBlockKey(key, 3);
    std::uint8_t first[16];
    direct.Apply(zeros, first, 16);
    EXPECT_EQ(0, std::memcmp(first, block3, 16));
}

namespace {

std::string Sha1Hex(const std::string& s) {
    const Sha1Digest d = Sha1::Of(s.data(), s.size());
    return Hex(d.data(), d.size());
}

}  // namespace

TEST(Sha1Test, PublishedVectors) {
    EXPECT_EQ(Sha1Hex(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(Sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(Sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(Sha1Hex("The quick brown fox jumps over the lazy dog"),
              "2fd4e1c67a2d28fced849ee1bb76e7391b93eb12");
    // One million 'a', fed in pieces that cross the 64-byte blocks.
    const std::string text(1000, 'a');
    Sha1 sha;
    for (int i = 0; i < 1000; ++i) {
        for (std::size_t at = 0; at < text.size(); at += 333)
            sha.Update(text.data() + at, std::min<std::size_t>(333, text.size() - at));
    }
    const Sha1Digest million = sha.Final();
    EXPECT_EQ(Hex(million.data(), million.size()), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

// The published examples of the 16-bit password verifier, and the XOR key and array of a
// password checked against each other: the array is the password and then the pad, XORed
// with the key's bytes and rotated right by one bit.
TEST(XorObfuscationTest, KeyVerifierAndArray) {
    EXPECT_EQ(XorVerifierOf("abcdefghij"), 0xFEF1);  // as the PASSWORD record stores it
    EXPECT_EQ(XorVerifierOf("a"), 0xCE4B ^ 0x00C3);  // 'a' rotated once, then the length
    EXPECT_EQ(XorPasswordBytes(u"p\u0430\u0100"), std::string("p0\x01"));

    const std::string password = "password";
    const std::uint16_t key = XorKeyOf(password);
    const XorArray array = XorArrayOf(password);
    const auto rotl1 = [](std::uint8_t v) { return static_cast<std::uint8_t>(v << 1 | v >> 7); };
    EXPECT_EQ(rotl1(array[0]) ^ (key & 0xFF), 'p');
    EXPECT_EQ(rotl1(array[7]) ^ (key >> 8), 'd');
    EXPECT_EQ(rotl1(array[8]) ^ (key & 0xFF), 0xBB);  // the pad starts after the password
    EXPECT_EQ(rotl1(array[15]) ^ (key >> 8), 0x80);
    EXPECT_NE(XorKeyOf("passwore"), key);
    EXPECT_EQ(XorKeyOf(""), 0);
}

// The array position of a body's first byte is (its offset + the body length) mod 16; a
// body decrypted in two pieces comes out as in one.
TEST(XorObfuscationTest, PositionFollowsOffsetAndRecordLength) {
    XorArray array{};
    for (std::size_t i = 0; i < array.size(); ++i)
        array[i] = static_cast<std::uint8_t>(i * 17);
    TXorCipher cipher(array);
    std::uint8_t whole[20] = {}, split[20] = {};
    cipher.Decrypt(whole, 20, 100, 20);
    cipher.Decrypt(split, 7, 100, 20);
    cipher.Decrypt(split + 7, 13, 107, 20);
    EXPECT_EQ(0, std::memcmp(whole, split, 20));
    const auto ror5 = [](std::uint8_t v) { return static_cast<std::uint8_t>(v >> 5 | v << 3); };
    EXPECT_EQ(whole[0], ror5(array[(100 + 20) % 16]));
    EXPECT_EQ(whole[19], ror5(array[(119 + 20) % 16]));
}

// Bytes left in clear between the decrypted ones still use up the key stream.
TEST(Rc4CipherTest, KeyStreamIsPositional) {
    KeyMaterial key{};
    key[0] = 9;
    std::uint8_t zeros[3 * kCipherBlockSize] = {};
    std::uint8_t expected[3 * kCipherBlockSize];
    Rc4State state;
    for (std::uint32_t b = 0; b < 3; ++b)
        DecryptBlock(zeros, expected + kCipherBlockSize * b, b, key, state);
    TRc4Cipher cipher(key);
    std::uint8_t got[3 * kCipherBlockSize] = {};
    cipher.Decrypt(got + 10, 990, 10, 990);        // skips 10 bytes of block 0
    cipher.Decrypt(got + 1500, 1400, 1500, 1400);  // skips the rest of 0 and half of 1
    EXPECT_EQ(0, std::memcmp(got + 10, expected + 10, 990));
    EXPECT_EQ(0, std::memcmp(got + 1500, expected + 1500, 1400));
}

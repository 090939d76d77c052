#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/XlsBuilder.h"
#include "xls/model/Errors.h"
#include "xls/read/Decryption.h"
#include "xls/read/Md5.h"
#include "xls/read/Rc4.h"

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

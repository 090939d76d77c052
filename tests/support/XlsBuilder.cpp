#include "tests/support/XlsBuilder.h"

#include <glib.h>
#include <gsf/gsf.h>

#include <bit>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <stdexcept>

#include "xls/read/RecordIds.h"

namespace vorlix::test {

namespace {

constexpr std::size_t kBlock = 1024;

template <std::size_t N>
std::array<std::uint8_t, N> Digest(GChecksumType type, const std::uint8_t* data, std::size_t size) {
    GChecksum* sum = g_checksum_new(type);
    g_checksum_update(sum, data, static_cast<gssize>(size));
    std::array<std::uint8_t, N> out{};
    gsize len = out.size();
    g_checksum_get_digest(sum, out.data(), &len);
    g_checksum_free(sum);
    return out;
}

std::array<std::uint8_t, 16> Md5(const std::uint8_t* data, std::size_t size) {
    return Digest<16>(G_CHECKSUM_MD5, data, size);
}

std::array<std::uint8_t, 20> Sha1(const std::uint8_t* data, std::size_t size) {
    return Digest<20>(G_CHECKSUM_SHA1, data, size);
}

// RC4 key stream, written here again so that the fixtures do not share the reader's.
class KeyStream {
  public:
    explicit KeyStream(const std::array<std::uint8_t, 16>& key) : KeyStream(key.data(), 16) {}
    KeyStream(const std::uint8_t* key, std::size_t length) {
        for (int k = 0; k < 256; ++k)
            s_[k] = static_cast<std::uint8_t>(k);
        int j = 0;
        for (int k = 0; k < 256; ++k) {
            j = (j + s_[k] + key[k % length]) & 0xFF;
            std::swap(s_[k], s_[j]);
        }
    }
    std::uint8_t Next() {
        i_ = (i_ + 1) & 0xFF;
        j_ = (j_ + s_[i_]) & 0xFF;
        std::swap(s_[i_], s_[j_]);
        return s_[(s_[i_] + s_[j_]) & 0xFF];
    }

  private:
    std::uint8_t s_[256];
    int i_ = 0;
    int j_ = 0;
};

std::array<std::uint8_t, 16> BlockKey(const std::array<std::uint8_t, 16>& key,
                                      std::uint32_t block) {
    std::uint8_t seed[9];
    std::memcpy(seed, key.data(), 5);
    for (int i = 0; i < 4; ++i)
        seed[5 + i] = static_cast<std::uint8_t>(block >> (8 * i));
    return Md5(seed, sizeof seed);
}

std::array<std::uint8_t, 16> DeriveKey(const std::u16string& password,
                                       const std::array<std::uint8_t, 16>& salt) {
    Bytes utf16;
    for (char16_t c : password) {
        utf16.push_back(static_cast<std::uint8_t>(c & 0xFF));
        utf16.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    const auto h0 = Md5(utf16.data(), utf16.size());
    Bytes message;
    for (int k = 0; k < 16; ++k) {
        message.insert(message.end(), h0.begin(), h0.begin() + 5);
        message.insert(message.end(), salt.begin(), salt.end());
    }
    return Md5(message.data(), message.size());
}

// RC4 with the CryptoAPI: block b's key is SHA-1(H0, b) cut to the key size; a 40-bit key
// is used as 128 bits, padded with zeros.
KeyStream CryptoApiBlockKey(const std::array<std::uint8_t, 20>& h0, std::uint32_t block,
                            std::uint32_t keyBits) {
    Bytes seed(h0.begin(), h0.end());
    for (int i = 0; i < 4; ++i)
        seed.push_back(static_cast<std::uint8_t>(block >> (8 * i)));
    const auto hash = Sha1(seed.data(), seed.size());
    std::array<std::uint8_t, 16> key{};
    std::copy(hash.begin(), hash.begin() + keyBits / 8, key.begin());
    return KeyStream(key.data(), keyBits == 40 ? 16 : keyBits / 8);
}

// The XOR obfuscation's tables: initial key by password length, the key matrix, the pad.
constexpr std::uint16_t kInitialCode[15] = {0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C,
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
constexpr std::uint8_t kPadArray[15] = {0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80,
                                        0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00};

std::uint16_t XorKey(const std::string& password) {
    std::uint16_t key = kInitialCode[password.size() - 1];
    int current = 0x68;
    for (std::size_t i = password.size(); i-- > 0;) {
        unsigned c = static_cast<unsigned char>(password[i]);
        for (int n = 0; n < 7; ++n, c *= 2, --current) {
            if (c & 0x40) key ^= kXorMatrix[current];
        }
    }
    return key;
}

std::uint16_t XorVerifier(const std::string& password) {
    Bytes bytes{static_cast<std::uint8_t>(password.size())};
    bytes.insert(bytes.end(), password.begin(), password.end());
    unsigned verifier = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) {
        const unsigned top = (verifier & 0x4000) ? 1 : 0;
        verifier = (top | ((verifier * 2) & 0x7FFF)) ^ bytes[i];
    }
    return static_cast<std::uint16_t>(verifier ^ 0xCE4B);
}

std::uint8_t XorRor(std::uint8_t a, std::uint8_t b) {
    const unsigned v = a ^ b;
    return static_cast<std::uint8_t>((v >> 1) | ((v & 1) << 7));
}

// Filled as the published procedure does: the password's characters two at a time from
// the back, then the pad from the array's end.
std::array<std::uint8_t, 16> XorArrayFor(const std::string& password) {
    const std::uint16_t key = XorKey(password);
    const auto high = static_cast<std::uint8_t>(key >> 8);
    const auto low = static_cast<std::uint8_t>(key & 0xFF);
    std::array<std::uint8_t, 16> array{};
    std::size_t index = password.size();
    if (index % 2 == 1) {
        array[index] = XorRor(kPadArray[0], high);
        --index;
        array[index] = XorRor(static_cast<std::uint8_t>(password.back()), low);
    }
    while (index > 0) {
        --index;
        array[index] = XorRor(static_cast<std::uint8_t>(password[index]), high);
        --index;
        array[index] = XorRor(static_cast<std::uint8_t>(password[index]), low);
    }
    index = 15;
    int pad = 15 - static_cast<int>(password.size());
    while (pad > 0) {
        array[index--] = XorRor(kPadArray[pad--], high);
        array[index--] = XorRor(kPadArray[pad--], low);
    }
    return array;
}

GsfOutfile* StorageFor(GsfOutfile* root, const std::string& dir,
                       std::map<std::string, GsfOutfile*>& made) {
    if (dir.empty()) return root;
    if (auto it = made.find(dir); it != made.end()) return it->second;
    const auto slash = dir.rfind('/');
    GsfOutfile* parent =
        slash == std::string::npos ? root : StorageFor(root, dir.substr(0, slash), made);
    const std::string name = slash == std::string::npos ? dir : dir.substr(slash + 1);
    GsfOutfile* storage = GSF_OUTFILE(gsf_outfile_new_child(parent, name.c_str(), TRUE));
    made[dir] = storage;
    return storage;
}

void WriteEntries(GsfOutput* sink, const std::vector<Entry>& entries) {
    GsfOutfile* root = gsf_outfile_msole_new(sink);
    std::map<std::string, GsfOutfile*> storages;
    for (const Entry& e : entries) {
        if (e.storage) {
            StorageFor(root, e.path, storages);
            continue;
        }
        const auto slash = e.path.rfind('/');
        GsfOutfile* parent =
            slash == std::string::npos ? root : StorageFor(root, e.path.substr(0, slash), storages);
        const std::string name = slash == std::string::npos ? e.path : e.path.substr(slash + 1);
        GsfOutput* child = gsf_outfile_new_child(parent, name.c_str(), FALSE);
        if (!e.data.empty()) gsf_output_write(child, e.data.size(), e.data.data());
        gsf_output_close(child);
        g_object_unref(child);
    }
    // Close the deepest storages first.
    for (auto it = storages.rbegin(); it != storages.rend(); ++it) {
        gsf_output_close(GSF_OUTPUT(it->second));
        g_object_unref(it->second);
    }
    gsf_output_close(GSF_OUTPUT(root));
    g_object_unref(root);
}

}  // namespace

Body& Body::u8(std::uint32_t v) {
    data_.push_back(static_cast<std::uint8_t>(v));
    return *this;
}
Body& Body::u16(std::uint32_t v) {
    return u8(v & 0xFF).u8(v >> 8 & 0xFF);
}
Body& Body::u32(std::uint32_t v) {
    return u16(v & 0xFFFF).u16(v >> 16);
}
Body& Body::f64(double v) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    return u32(static_cast<std::uint32_t>(bits)).u32(static_cast<std::uint32_t>(bits >> 32));
}
Body& Body::bytes(const Bytes& b) {
    data_.insert(data_.end(), b.begin(), b.end());
    return *this;
}
Body& Body::zeros(std::size_t n) {
    data_.insert(data_.end(), n, 0);
    return *this;
}
Body& Body::ascii(const std::string& s) {
    for (char c : s)
        u8(static_cast<unsigned char>(c));
    return *this;
}
Body& Body::utf16(const std::u16string& s) {
    for (char16_t c : s)
        u16(c);
    return *this;
}

BiffBuilder& BiffBuilder::Record(std::uint16_t id, const Bytes& body) {
    if (body.size() > 0xFFFF) throw std::logic_error("record body longer than 65535 bytes");
    Raw(Body().u16(id).u16(static_cast<std::uint32_t>(body.size())));
    const std::size_t start = stream_.size();
    stream_.insert(stream_.end(), body.begin(), body.end());
    // Records of shared workbooks (RRDHEAD, USREXCL, FILELOCK, RRDINFO) stay in clear too.
    const bool clear = id == rec::kBof || id == rec::kInterfaceHdr || id == 0x0138 ||
                       id == 0x0194 || id == 0x0195 || id == 0x0196;
    if (scheme_ != Scheme::None && !clear) {
        const std::size_t plain =
            id == rec::kBoundSheet8 ? std::min<std::size_t>(4, body.size()) : 0;
        if (start + plain < stream_.size())
            encrypted_.push_back({start + plain, stream_.size(), body.size()});
    }
    return *this;
}

BiffBuilder& BiffBuilder::Raw(const Bytes& bytes) {
    stream_.insert(stream_.end(), bytes.begin(), bytes.end());
    return *this;
}

BiffBuilder& BiffBuilder::FilePass(const std::u16string& password) {
    std::array<std::uint8_t, 16> salt{};
    std::mt19937 rng(static_cast<unsigned>(stream_.size() + password.size()));
    for (auto& b : salt)
        b = static_cast<std::uint8_t>(rng());
    Record(rec::kFilePass, MakeFilePassBody(password, salt, &key_));
    scheme_ = Scheme::Rc4;
    return *this;
}

BiffBuilder& BiffBuilder::FilePassCryptoApi(const std::u16string& password, std::uint32_t keyBits,
                                            std::uint16_t major) {
    Bytes salted(16);
    std::mt19937 rng(static_cast<unsigned>(stream_.size() + 7 * password.size()));
    for (auto& b : salted)
        b = static_cast<std::uint8_t>(rng());
    const Bytes salt = salted;
    for (char16_t c : password) {
        salted.push_back(static_cast<std::uint8_t>(c & 0xFF));
        salted.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    hash_ = Sha1(salted.data(), salted.size());
    keyBits_ = keyBits == 0 ? 40 : keyBits;  // 0 stands for 40 bits

    Bytes verifier(16);
    for (auto& b : verifier)
        b = static_cast<std::uint8_t>(rng());
    const auto verifierHash = Sha1(verifier.data(), verifier.size());
    KeyStream ks = CryptoApiBlockKey(hash_, 0, keyBits_);
    Bytes encrypted;
    for (std::uint8_t b : verifier)
        encrypted.push_back(b ^ ks.Next());
    for (std::uint8_t b : verifierHash)
        encrypted.push_back(b ^ ks.Next());

    const std::u16string provider = u"Microsoft Base Cryptographic Provider v1.0";
    Body header;
    header.u32(0x04).u32(0);         // flags: CryptoAPI; no extra data
    header.u32(0x6801).u32(0x8004);  // RC4, SHA-1
    header.u32(keyBits).u32(1);      // key size, provider type
    header.u32(0).u32(0);            // reserved
    header.utf16(provider).u16(0);   // provider name, ended by a zero
    Body body;
    body.u16(1).u16(major).u16(2);  // encryption type RC4, version major.2
    body.u32(0x04).u32(static_cast<std::uint32_t>(header.size())).bytes(header);
    body.u32(16).bytes(salt);
    body.bytes(Bytes(encrypted.begin(), encrypted.begin() + 16));
    body.u32(20).bytes(Bytes(encrypted.begin() + 16, encrypted.end()));
    Record(rec::kFilePass, body);
    scheme_ = Scheme::CryptoApi;
    return *this;
}

BiffBuilder& BiffBuilder::FilePassXor(const std::string& password, bool typed) {
    Body body;
    if (typed) body.u16(0);  // encryption type: XOR
    body.u16(XorKey(password)).u16(XorVerifier(password));
    Record(rec::kFilePass, body);
    xorArray_ = XorArrayFor(password);
    scheme_ = Scheme::Xor;
    return *this;
}

BiffBuilder& BiffBuilder::FilePassRaw(const Bytes& body) {
    return Record(rec::kFilePass, body);
}

BiffBuilder& BiffBuilder::PadTo(std::size_t offset, std::uint8_t filler) {
    if (stream_.size() < offset) stream_.resize(offset, filler);
    return *this;
}

Bytes BiffBuilder::Build() const {
    Bytes out = stream_;
    if (encrypted_.empty()) return out;
    if (scheme_ == Scheme::Xor) {
        // Each byte is rotated left by 5 bits and XORed with the array entry at (its
        // stream offset + its record's body length) modulo 16.
        for (const Range& r : encrypted_) {
            for (std::size_t i = r.begin; i < r.end; ++i) {
                const unsigned v = out[i];
                const auto rotated = static_cast<std::uint8_t>((v << 5) | (v >> 3));
                out[i] = rotated ^ xorArray_[(i + r.length) % 16];
            }
        }
        return out;
    }
    const std::size_t blocks = (out.size() + kBlock - 1) / kBlock;
    std::vector<bool> encrypt(out.size(), false);
    for (const Range& r : encrypted_) {
        for (std::size_t i = r.begin; i < r.end; ++i)
            encrypt[i] = true;
    }
    for (std::size_t b = 0; b < blocks; ++b) {
        const auto block = static_cast<std::uint32_t>(b);
        KeyStream ks = scheme_ == Scheme::CryptoApi ? CryptoApiBlockKey(hash_, block, keyBits_)
                                                    : KeyStream(BlockKey(key_, block));
        for (std::size_t i = b * kBlock; i < std::min(out.size(), (b + 1) * kBlock); ++i) {
            const std::uint8_t k = ks.Next();
            if (encrypt[i]) out[i] ^= k;
        }
    }
    return out;
}

Bytes MakeFilePassBody(const std::u16string& password, const std::array<std::uint8_t, 16>& salt,
                       std::array<std::uint8_t, 16>* keyOut) {
    const auto key = DeriveKey(password, salt);
    if (keyOut != nullptr) *keyOut = key;
    std::array<std::uint8_t, 16> verifier{};
    for (std::size_t i = 0; i < verifier.size(); ++i) {
        verifier[i] = static_cast<std::uint8_t>(0x5A ^ (i * 37) ^ salt[i]);
    }
    const auto hash = Md5(verifier.data(), verifier.size());
    KeyStream ks(BlockKey(key, 0));
    Body body;
    body.u16(1).u16(1).u16(1);  // encryption type RC4, version 1.1
    body.bytes(Bytes(salt.begin(), salt.end()));
    for (std::uint8_t b : verifier)
        body.u8(b ^ ks.Next());
    for (std::uint8_t b : hash)
        body.u8(b ^ ks.Next());
    return body.data();
}

void WriteCompound(const std::filesystem::path& file, const std::vector<Entry>& entries) {
    WriteFile(file, CompoundBytes(entries));
}

Bytes CompoundBytes(const std::vector<Entry>& entries) {
    GsfOutput* sink = gsf_output_memory_new();
    WriteEntries(sink, entries);
    const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink));
    Bytes out(data, data + gsf_output_size(sink));
    g_object_unref(sink);
    return out;
}

void WriteWorkbook(const std::filesystem::path& file, const Bytes& stream) {
    WriteCompound(file, {{"Workbook", stream}});
}

void WriteFile(const std::filesystem::path& file, const Bytes& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

Bytes ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vorlix-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

Bytes ZipBytes(const std::vector<std::pair<std::string, std::string>>& entries) {
    Body local, central;
    for (const auto& [name, contents] : entries) {
        const auto offset = static_cast<std::uint32_t>(local.size());
        const auto size = static_cast<std::uint32_t>(contents.size());
        const auto length = static_cast<std::uint32_t>(name.size());
        // Version, flags, method 0 (stored), time, date, CRC (not checked here), sizes.
        local.u32(0x04034B50).u16(10).u16(0).u16(0).u32(0).u32(0).u32(size).u32(size);
        local.u16(length).u16(0).ascii(name).ascii(contents);
        central.u32(0x02014B50).u16(20).u16(10).u16(0).u16(0).u32(0).u32(0).u32(size).u32(size);
        central.u16(length).u16(0).u16(0).u16(0).u16(0).u32(0).u32(offset).ascii(name);
    }
    const auto count = static_cast<std::uint32_t>(entries.size());
    Body zip;
    zip.bytes(local).bytes(central);
    zip.u32(0x06054B50).u16(0).u16(0).u16(count).u16(count);
    zip.u32(static_cast<std::uint32_t>(central.size()))
        .u32(static_cast<std::uint32_t>(local.size()));
    zip.u16(0);
    return zip;
}

}  // namespace vorlix::test

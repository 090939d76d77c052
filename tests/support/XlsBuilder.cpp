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

std::array<std::uint8_t, 16> Md5(const std::uint8_t* data, std::size_t size) {
    GChecksum* sum = g_checksum_new(G_CHECKSUM_MD5);
    g_checksum_update(sum, data, static_cast<gssize>(size));
    std::array<std::uint8_t, 16> out{};
    gsize len = out.size();
    g_checksum_get_digest(sum, out.data(), &len);
    g_checksum_free(sum);
    return out;
}

// RC4 key stream, written here again so that the fixtures do not share the reader's.
class KeyStream {
  public:
    explicit KeyStream(const std::array<std::uint8_t, 16>& key) {
        for (int k = 0; k < 256; ++k)
            s_[k] = static_cast<std::uint8_t>(k);
        int j = 0;
        for (int k = 0; k < 256; ++k) {
            j = (j + s_[k] + key[k % 16]) & 0xFF;
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
    if (encrypting_ && id != rec::kBof && id != rec::kInterfaceHdr) {
        const std::size_t plain =
            id == rec::kBoundSheet8 ? std::min<std::size_t>(4, body.size()) : 0;
        if (start + plain < stream_.size()) encrypted_.push_back({start + plain, stream_.size()});
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
    encrypting_ = true;
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
    const std::size_t blocks = (out.size() + kBlock - 1) / kBlock;
    std::vector<bool> encrypt(out.size(), false);
    for (const Range& r : encrypted_) {
        for (std::size_t i = r.begin; i < r.end; ++i)
            encrypt[i] = true;
    }
    for (std::size_t b = 0; b < blocks; ++b) {
        KeyStream ks(BlockKey(key_, static_cast<std::uint32_t>(b)));
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

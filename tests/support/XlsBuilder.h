// Builds workbook files for the tests: BIFF8 record sequences, optionally encrypted after a
// FILEPASS record (RC4, RC4 with the CryptoAPI, or the XOR obfuscation), written into
// compound documents by libgsf's writer. Nothing here uses the reader under test (MD5 and
// SHA-1 come from GLib, RC4 and the XOR obfuscation are written out again from their
// published descriptions), so a fault in the reader cannot hide in the fixtures.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vorlix::test {

using Bytes = std::vector<std::uint8_t>;

// A record body or any byte string, built field by field (little-endian).
class Body {
  public:
    Body& u8(std::uint32_t v);
    Body& u16(std::uint32_t v);
    Body& u32(std::uint32_t v);
    Body& f64(double v);
    Body& bytes(const Bytes& b);
    Body& zeros(std::size_t n);
    // Characters as single bytes, no length.
    Body& ascii(const std::string& s);
    // UTF-16LE code units, no length.
    Body& utf16(const std::u16string& s);
    const Bytes& data() const { return data_; }
    operator const Bytes&() const { return data_; }
    std::size_t size() const { return data_.size(); }

  private:
    Bytes data_;
};

class BiffBuilder {
  public:
    // Appends a record. After FilePass its body is encrypted, except where the format
    // leaves bytes plain (BOF and INTERFACEHDR bodies, the stream position of BOUNDSHEET).
    BiffBuilder& Record(std::uint16_t id, const Bytes& body);
    // Appends bytes verbatim (never encrypted): torn headers, padding, garbage.
    BiffBuilder& Raw(const Bytes& bytes);
    // Appends an RC4 FILEPASS record for `password` and encrypts every later body.
    BiffBuilder& FilePass(const std::u16string& password);
    // Appends an RC4 CryptoAPI FILEPASS record (version major.2) for `password` and a key of
    // `keyBits` bits, and encrypts every later body.
    BiffBuilder& FilePassCryptoApi(const std::u16string& password, std::uint32_t keyBits = 128,
                                   std::uint16_t major = 4);
    // Appends an XOR FILEPASS record for `password` (8-bit characters, 1 to 15) and
    // obfuscates every later body; `typed`: the BIFF8 layout with its encryption type 0,
    // else the older layout of key and verifier alone.
    BiffBuilder& FilePassXor(const std::string& password, bool typed = true);
    // Appends a FILEPASS record with the given body and no encryption (refused variants).
    BiffBuilder& FilePassRaw(const Bytes& body);
    // Pads with `filler` up to the given stream offset.
    BiffBuilder& PadTo(std::size_t offset, std::uint8_t filler = 0);

    std::size_t Size() const { return stream_.size(); }
    Bytes Build() const;

  private:
    enum class Scheme { None, Rc4, CryptoApi, Xor };
    struct Range {
        std::size_t begin;
        std::size_t end;
        std::size_t length;  // of the record body the range is in
    };
    Bytes stream_;
    Scheme scheme_ = Scheme::None;
    std::array<std::uint8_t, 16> key_{};   // RC4: derived from the password and salt
    std::array<std::uint8_t, 20> hash_{};  // CryptoAPI: SHA-1(salt, password)
    std::uint32_t keyBits_ = 128;
    std::array<std::uint8_t, 16> xorArray_{};
    std::vector<Range> encrypted_;
};

// The FILEPASS body for a password and salt (type 1, version 1.1, verifier and its hash
// encrypted with block 0's key) and the key material the password yields.
Bytes MakeFilePassBody(const std::u16string& password, const std::array<std::uint8_t, 16>& salt,
                       std::array<std::uint8_t, 16>* keyOut = nullptr);

struct Entry {
    std::string path;  // levels joined by '/'
    Bytes data;
    bool storage = false;  // an empty storage instead of a stream
};

// Writes a compound document holding the entries; intermediate storages are created.
void WriteCompound(const std::filesystem::path& file, const std::vector<Entry>& entries);
Bytes CompoundBytes(const std::vector<Entry>& entries);

// A workbook file: the stream "Workbook" holding `stream`.
void WriteWorkbook(const std::filesystem::path& file, const Bytes& stream);

void WriteFile(const std::filesystem::path& file, const Bytes& bytes);
// A zip archive of uncompressed entries (name, contents), with its central directory.
Bytes ZipBytes(const std::vector<std::pair<std::string, std::string>>& entries);
Bytes ReadFile(const std::filesystem::path& file);

// A fresh directory under the system's temporary directory, removed with its content.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

}  // namespace vorlix::test

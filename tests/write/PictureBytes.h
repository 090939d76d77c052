// Pictures in the form a sheet's picture keeps them (TXLSImage::Data), built field by field
// for the tests of the picture files: bitmaps, metafiles and their stored headers.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace vorlix::test {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
inline void Append(Bytes& b, const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
}
inline std::uint16_t Get16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}
inline std::uint32_t Get32(const Bytes& b, std::size_t at) {
    return Get16(b, at) | static_cast<std::uint32_t>(Get16(b, at + 2)) << 16;
}

// An identifier of a picture: 16 bytes that look like a digest.
inline Bytes Uid(std::uint8_t seed) {
    Bytes uid;
    for (std::uint8_t i = 0; i < 16; ++i)
        uid.push_back(static_cast<std::uint8_t>(seed * 31 + i * 7));
    return uid;
}

// A bitmap info header (40 bytes) followed by `tail` (masks, colour table, pixels).
inline Bytes Dib(std::int32_t width, std::int32_t height, std::uint16_t bits,
                 std::uint32_t compression, std::uint32_t coloursUsed, const Bytes& tail) {
    Bytes dib;
    Put32(dib, 40);  // header size
    Put32(dib, static_cast<std::uint32_t>(width));
    Put32(dib, static_cast<std::uint32_t>(height));
    Put16(dib, 1);  // planes
    Put16(dib, bits);
    Put32(dib, compression);
    Put32(dib, 0);     // image size (may be 0 for BI_RGB)
    Put32(dib, 2835);  // pixels per metre, x
    Put32(dib, 2835);  // and y
    Put32(dib, coloursUsed);
    Put32(dib, 0);  // important colours
    Append(dib, tail);
    return dib;
}

// A stored bitmap: the 14 bytes "BM", 0x4B and eleven zeros, [a second identifier's last
// 15 bytes and its tag, as the store leaves them], then the bitmap.
inline Bytes StoredDib(const Bytes& dib, bool secondUid = false) {
    Bytes stored = {'B', 'M', 0x4B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    if (secondUid) {
        Bytes rest = Uid(9);
        rest.erase(rest.begin());
        Append(stored, rest);
        stored.push_back(0xFF);  // tag
    }
    Append(stored, dib);
    return stored;
}

// JPEG or PNG as stored: the file, behind the rest of a second identifier when asked.
inline Bytes StoredFile(const Bytes& file, bool secondUid = false) {
    Bytes stored;
    if (secondUid) {
        Bytes rest = Uid(5);
        rest.erase(rest.begin());
        Append(stored, rest);
        stored.push_back(0xFF);  // tag
    }
    Append(stored, file);
    return stored;
}

inline Bytes Compress(const Bytes& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    if (compress(out.data(), &size, data.data(), static_cast<uLong>(data.size())) != Z_OK)
        throw std::runtime_error("compress failed");
    out.resize(size);
    return out;
}

struct MetafileFields {
    std::int32_t Left = 0, Top = 0, Right = 400, Bottom = 300;  // bounds
    std::int32_t Cx = 2540000, Cy = 1905000;                    // size in EMUs
    bool Compressed = true;
    bool SecondUid = false;
    // Replace the uncompressed size stored in the header, when not 0.
    std::uint32_t StatedSize = 0;
};

// The identifier(s), the metafile header and the saved data of a metafile.
inline Bytes MetafileBody(const Bytes& metafile, const MetafileFields& f) {
    const Bytes saved = f.Compressed ? Compress(metafile) : metafile;
    Bytes body = Uid(1);
    if (f.SecondUid) Append(body, Uid(2));
    Put32(body, f.StatedSize != 0 ? f.StatedSize : static_cast<std::uint32_t>(metafile.size()));
    for (const std::int32_t v : {f.Left, f.Top, f.Right, f.Bottom, f.Cx, f.Cy})
        Put32(body, static_cast<std::uint32_t>(v));
    Put32(body, static_cast<std::uint32_t>(saved.size()));
    body.push_back(f.Compressed ? 0x00 : 0xFE);  // compression
    body.push_back(0xFE);                        // filter
    Append(body, saved);
    return body;
}

// An EMF (type 2) or WMF (type 3) as stored: 0xFF x8, the type, 0xFF, then the body.
inline Bytes StoredMetafile(std::uint8_t type, const Bytes& metafile, const MetafileFields& f) {
    Bytes stored(8, 0xFF);
    stored.push_back(type);
    stored.push_back(0xFF);
    Append(stored, MetafileBody(metafile, f));
    return stored;
}

// A PICT as stored: its picture record's header, then the body.
inline Bytes StoredPict(const Bytes& picture, const MetafileFields& f) {
    const Bytes body = MetafileBody(picture, f);
    Bytes stored;
    Put16(stored, (f.SecondUid ? 0x543 : 0x542) << 4);  // version 0, instance
    Put16(stored, 0xF01C);
    Put32(stored, static_cast<std::uint32_t>(body.size()));
    Append(stored, body);
    return stored;
}

// A Windows metafile: its header, a SETWINDOWEXT record and the end record.
inline Bytes Wmf() {
    Bytes m;
    Put16(m, 1);       // type: in memory
    Put16(m, 9);       // header size in words
    Put16(m, 0x0300);  // version
    Put32(m, 17);      // size in words
    Put16(m, 0);       // objects
    Put32(m, 5);       // largest record in words
    Put16(m, 0);       // parameters
    Put32(m, 5);       // SETWINDOWEXT: size in words, function, y, x
    Put16(m, 0x020C);
    Put16(m, 300);
    Put16(m, 400);
    Put32(m, 3);  // EOF
    Put16(m, 0);
    return m;
}

// An enhanced metafile: the header record (88 bytes) and the end record.
inline Bytes Emf() {
    Bytes m;
    Put32(m, 1);                                      // type: header
    Put32(m, 88);                                     // record size
    for (const std::uint32_t v : {0u, 0u, 99u, 74u})  // bounds in pixels
        Put32(m, v);
    for (const std::uint32_t v : {0u, 0u, 2645u, 1984u})  // frame in 0.01 mm
        Put32(m, v);
    Put32(m, 0x464D4520);  // " EMF"
    Put32(m, 0x10000);     // version
    Put32(m, 108);         // file size
    Put32(m, 2);           // records
    Put16(m, 1);           // handles
    Put16(m, 0);
    Put32(m, 0);     // description: characters
    Put32(m, 0);     // and offset
    Put32(m, 0);     // palette entries
    Put32(m, 1024);  // reference device in pixels
    Put32(m, 768);
    Put32(m, 320);  // and millimetres
    Put32(m, 240);
    Put32(m, 14);  // EOF: type, size, palette entries, their offset, size again
    Put32(m, 20);
    Put32(m, 0);
    Put32(m, 16);
    Put32(m, 20);
    return m;
}

// A PICT picture: its size, its frame, the version 1 opcode and the end.
inline Bytes Pict() {
    Bytes m;
    Put16(m, 14);
    for (int v : {0, 0, 30, 40})
        m.insert(m.end(), {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)});
    m.insert(m.end(), {0x11, 0x01, 0xFF, 0x00});
    return m;
}

}  // namespace vorlix::test

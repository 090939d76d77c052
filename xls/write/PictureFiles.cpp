#include "xls/write/PictureFiles.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string_view>

#include "platform/ByteCursor.h"
#include "platform/CodePage.h"
#include "xls/model/TPageSetup.h"
#include "xls/model/TRangeRects.h"

namespace vorlix {

namespace {

using platform::TByteCursor;
using TBytes = std::vector<std::uint8_t>;

// --- The stored forms -------------------------------------------------------------------

// An identifier of the picture (a digest of its data). Pictures carry one or two; the
// type's picture record says which in its instance, but only PICT keeps that header.
constexpr std::size_t kUidSize = 16;
// A bitmap is stored behind 14 bytes in the place of its file header: "BM" and nothing
// filled in.
constexpr std::size_t kBitmapPrefixSize = 14;
// EMF and WMF are stored behind 0xFF x8, the picture type, 0xFF.
constexpr std::size_t kMetafilePrefixSize = 10;
// PICT keeps its picture record's header: version and instance, record type, length.
constexpr std::size_t kRecordHeaderSize = 8;
constexpr std::uint16_t kPictRecordType = 0xF01C;
constexpr std::uint16_t kPictOneUid = 0x542;
constexpr std::uint16_t kPictTwoUids = 0x543;

// The header in front of a metafile's data: uncompressed size, bounds (left, top, right,
// bottom), size in EMUs (cx, cy), stored size, compression method, filter.
constexpr std::size_t kMetafileHeaderSize = 34;
constexpr std::uint8_t kDeflate = 0x00;
constexpr std::uint8_t kUncompressed = 0xFE;

// Bitmap info headers: the old core header and the Windows ones (v1, v2, v3, v4, v5).
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::array<std::uint32_t, 5> kInfoHeaderSizes = {40, 52, 56, 108, 124};
// Compression methods of an info header that viewers decode.
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;

// --- The files made ---------------------------------------------------------------------

constexpr std::size_t kBitmapFileHeaderSize = 14;
// The placeable-metafile header: key, handle (0), bounding box (four 16-bit values),
// units per inch, reserved (0), checksum (the XOR of the ten 16-bit words before it).
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableHeaderSize = 22;
// A Windows metafile's own header: type 1 (memory) or 2 (disk), its size in 16-bit
// words (9), version 0x0100 or 0x0300.
constexpr std::uint16_t kWmfHeaderWords = 9;
// An EMF file starts with its header record (type 1) holding " EMF" at offset 40.
constexpr std::uint32_t kEmfHeaderRecord = 1;
constexpr std::uint32_t kEmfSignature = 0x464D4520;
constexpr std::size_t kEmfSignatureAt = 40;
// A PICT file starts with 512 bytes that the picture itself does not use.
constexpr std::size_t kPictFileHeaderSize = 512;
// The picture frame and size a PICT picture starts with.
constexpr std::size_t kPictMinimumSize = 10;

constexpr double kEmusPerInch = 914400.0;
constexpr std::int64_t kTwipsPerInch = 1440;
constexpr std::size_t kMaxNamePartBytes = 100;

TPictureFile Converted(std::string extension, TBytes bytes) {
    return {std::move(extension), std::move(bytes), {}};
}

TPictureFile AsStored(const TByteCursor& stored, std::string problem) {
    return {".bin", TBytes(stored.Data(), stored.Data() + stored.Size()), std::move(problem)};
}

bool StartsWith(const TByteCursor& c, std::size_t at, std::initializer_list<std::uint8_t> bytes) {
    if (at > c.Size() || bytes.size() > c.Size() - at) return false;
    return std::equal(bytes.begin(), bytes.end(), c.Data() + at);
}

TBytes From(TByteCursor c, std::size_t at) {
    c.Seek(at);
    const std::string_view rest = c.Rest();
    return TBytes(rest.begin(), rest.end());
}

// --- JPEG and PNG -----------------------------------------------------------------------

// The file as stored, found where it starts: at once, or after a second identifier.
TPictureFile WholeFile(const TByteCursor& stored, std::initializer_list<std::uint8_t> signature,
                       const char* extension, const char* kind) {
    for (const std::size_t at : {std::size_t{0}, kUidSize}) {
        if (StartsWith(stored, at, signature)) return Converted(extension, From(stored, at));
    }
    return AsStored(stored, std::string("the bytes do not start like a ") + kind + " file");
}

// --- Bitmaps ----------------------------------------------------------------------------

bool BitCountKnown(std::uint16_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Where the pixels of a bitmap whose info header starts at `at` begin in the BMP file
// made (its file header first): after the info header, the colour masks that follow a
// 40-byte header with BI_BITFIELDS or BI_ALPHABITFIELDS, and the colour table (biClrUsed
// entries, or 2^bits for 8 bits or fewer). Empty when no believable header is there.
std::optional<std::uint64_t> PixelDataOffset(TByteCursor c, std::size_t at) {
    const std::uint32_t headerSize = c.U32At(at);
    std::uint64_t colours = 0;
    std::uint64_t entrySize = 4;
    std::uint64_t masks = 0;
    std::uint16_t planes = 0;
    std::uint16_t bits = 0;
    bool dimensions = false;
    if (headerSize == kCoreHeaderSize) {
        dimensions = c.U16At(at + 4) > 0 && c.U16At(at + 6) > 0;
        planes = c.U16At(at + 8);
        bits = c.U16At(at + 10);
        entrySize = 3;
        colours = bits <= 8 ? std::uint64_t{1} << bits : 0;
    } else if (std::find(kInfoHeaderSizes.begin(), kInfoHeaderSizes.end(), headerSize) !=
               kInfoHeaderSizes.end()) {
        const auto width = static_cast<std::int32_t>(c.U32At(at + 4));
        const auto height = static_cast<std::int32_t>(c.U32At(at + 8));
        planes = c.U16At(at + 12);
        bits = c.U16At(at + 14);
        const std::uint32_t compression = c.U32At(at + 16);
        const std::uint32_t used = c.U32At(at + 32);
        dimensions = width > 0 && height != 0 && height != std::numeric_limits<std::int32_t>::min();
        if (compression > kBiBitfields && compression != kBiAlphaBitfields) return std::nullopt;
        if ((compression == kBiRle8 && bits != 8) || (compression == kBiRle4 && bits != 4) ||
            (compression == kBiBitfields && bits != 16 && bits != 32))
            return std::nullopt;
        colours = used != 0 ? used : bits <= 8 ? std::uint64_t{1} << bits : 0;
        if (headerSize == kInfoHeaderSize && compression == kBiBitfields) masks = 12;
        if (headerSize == kInfoHeaderSize && compression == kBiAlphaBitfields) masks = 16;
    } else {
        return std::nullopt;
    }
    if (c.Short() || !dimensions || planes != 1 || !BitCountKnown(bits)) return std::nullopt;
    return kBitmapFileHeaderSize + headerSize + masks + colours * entrySize;
}

TPictureFile Bitmap(const TByteCursor& stored) {
    if (!StartsWith(stored, 0, {'B', 'M'}) || stored.Size() < kBitmapPrefixSize)
        return AsStored(stored, "the bitmap's marker is missing");
    for (const std::size_t skip : {std::size_t{0}, kUidSize}) {
        const std::size_t at = kBitmapPrefixSize + skip;
        const std::optional<std::uint64_t> offset = PixelDataOffset(stored, at);
        if (!offset) continue;
        const std::uint64_t fileSize = kBitmapFileHeaderSize + (stored.Size() - at);
        if (*offset > fileSize) continue;  // the colour table runs past the end
        if (fileSize > std::numeric_limits<std::uint32_t>::max())
            return AsStored(stored, "the bitmap is too large for a BMP file");
        TBytes file(kBitmapFileHeaderSize);
        file[0] = 'B';
        file[1] = 'M';
        platform::Store32(file.data() + 2, static_cast<std::uint32_t>(fileSize));
        platform::Store32(file.data() + 10, static_cast<std::uint32_t>(*offset));
        const TBytes bitmap = From(stored, at);
        file.insert(file.end(), bitmap.begin(), bitmap.end());
        return Converted(".bmp", std::move(file));
    }
    return AsStored(stored, "the bitmap's header is damaged");
}

// --- Metafiles --------------------------------------------------------------------------

struct TMetafileHeader {
    std::uint32_t Size = 0;  // uncompressed
    std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    std::int32_t Width = 0, Height = 0;  // EMUs
    std::uint32_t SavedSize = 0;
    std::uint8_t Compression = 0;
    std::size_t DataAt = 0;  // where the saved data starts in the stored bytes
};

std::optional<TMetafileHeader> ReadMetafileHeader(TByteCursor c, std::size_t at) {
    if (at > c.Size() || c.Size() - at < kMetafileHeaderSize) return std::nullopt;
    c.Seek(at);
    TMetafileHeader h;
    h.Size = c.U32();
    h.Left = c.I32();
    h.Top = c.I32();
    h.Right = c.I32();
    h.Bottom = c.I32();
    h.Width = c.I32();
    h.Height = c.I32();
    h.SavedSize = c.U32();
    h.Compression = c.U8();
    c.U8();  // filter: none
    h.DataAt = c.Position();
    if (h.Compression != kDeflate && h.Compression != kUncompressed) return std::nullopt;
    if (h.Size == 0 || h.SavedSize == 0 || h.SavedSize > c.Remaining()) return std::nullopt;
    return h;
}

// The metafile header behind one or two identifiers from `start` (`uids` 0: whichever
// fits; a header whose saved data ends where the stored bytes end wins).
std::optional<TMetafileHeader> FindMetafileHeader(const TByteCursor& stored, std::size_t start,
                                                  int uids) {
    std::optional<TMetafileHeader> found;
    for (const int n : {1, 2}) {
        if (uids != 0 && n != uids) continue;
        std::optional<TMetafileHeader> h = ReadMetafileHeader(stored, start + n * kUidSize);
        if (!h) continue;
        if (h->DataAt + h->SavedSize == stored.Size()) return h;
        if (!found) found = h;
    }
    return found;
}

// Inflates zlib data (or raw deflate data, which some writers store) into at most `limit`
// bytes. Empty when the data is damaged, ends early or makes more than `limit` bytes.
std::optional<TBytes> Inflate(std::string_view in, std::size_t limit) {
    if (in.size() > std::numeric_limits<uInt>::max() || limit == 0) return std::nullopt;
    const auto* b = reinterpret_cast<const Bytef*>(in.data());
    const bool zlibHeader =
        in.size() >= 2 && (b[0] & 0x0F) == Z_DEFLATED && ((b[0] << 8) | b[1]) % 31 == 0;
    z_stream z{};
    if (inflateInit2(&z, zlibHeader ? MAX_WBITS : -MAX_WBITS) != Z_OK) return std::nullopt;
    struct TEnd {
        z_stream* Stream;
        ~TEnd() { inflateEnd(Stream); }
    } end{&z};
    z.next_in = const_cast<Bytef*>(b);  // zlib only reads its input
    z.avail_in = static_cast<uInt>(in.size());
    // Grown as the data proves it holds more, so that a header that claims much more
    // than the data gives allocates little.
    TBytes out(std::min(limit, std::max<std::size_t>(in.size() * 4, 64 * 1024)));
    for (;;) {
        z.next_out = out.data() + z.total_out;
        z.avail_out = static_cast<uInt>(out.size() - z.total_out);
        const int status = inflate(&z, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            out.resize(z.total_out);
            return out;
        }
        if (status != Z_OK && status != Z_BUF_ERROR) return std::nullopt;
        if (z.avail_out == 0) {
            if (out.size() >= limit) return std::nullopt;
            out.resize(std::min(limit, out.size() * 2));
        } else if (z.avail_in == 0 || status == Z_BUF_ERROR) {
            return std::nullopt;
        }
    }
}

// The metafile's own bytes, or empty with `problem` set.
std::optional<TBytes> MetafileData(TByteCursor stored, const TMetafileHeader& h,
                                   std::string& problem) {
    if (h.Size > kMaxPictureFileBytes) {
        problem =
            "the metafile is larger than " + std::to_string(kMaxPictureFileBytes >> 20) + " MiB";
        return std::nullopt;
    }
    stored.Seek(h.DataAt);
    const std::string_view saved = stored.Bytes(h.SavedSize);
    if (h.Compression == kUncompressed) return TBytes(saved.begin(), saved.end());
    std::optional<TBytes> data = Inflate(saved, h.Size);
    if (!data) problem = "the compressed metafile is damaged";
    return data;
}

bool IsWmfHeader(TByteCursor c, std::size_t at) {
    const std::uint16_t type = c.U16At(at);
    const std::uint16_t words = c.U16At(at + 2);
    const std::uint16_t version = c.U16At(at + 4);
    return !c.Short() && (type == 1 || type == 2) && words == kWmfHeaderWords &&
           (version == 0x0100 || version == 0x0300);
}

bool Fits16(std::int64_t v) {
    return v >= std::numeric_limits<std::int16_t>::min() &&
           v <= std::numeric_limits<std::int16_t>::max();
}

// A placeable-metafile header for a metafile without one: the stored bounds as its
// bounding box, with as many units per inch as make it as large as the stored size; or,
// when the bounds do not fit, the stored size in twips (or coarser units where twips do
// not fit). Empty when the header gives neither.
std::optional<std::array<std::uint8_t, kPlaceableHeaderSize>> PlaceableHeader(
    const TMetafileHeader& h) {
    std::int64_t left = h.Left, top = h.Top, right = h.Right, bottom = h.Bottom;
    std::int64_t inch = kTwipsPerInch;
    const std::int64_t width = right - left;
    if (width > 0 && bottom > top && Fits16(left) && Fits16(top) && Fits16(right) &&
        Fits16(bottom)) {
        if (h.Width > 0) {
            inch = std::clamp<std::int64_t>(std::llround(width * kEmusPerInch / h.Width), 1,
                                            std::numeric_limits<std::uint16_t>::max());
        }
    } else if (h.Width > 0 && h.Height > 0) {
        left = top = 0;
        for (;; inch /= 2) {
            right = std::max<std::int64_t>(1, std::llround(h.Width * inch / kEmusPerInch));
            bottom = std::max<std::int64_t>(1, std::llround(h.Height * inch / kEmusPerInch));
            if ((Fits16(right) && Fits16(bottom)) || inch == 1) break;
        }
    } else {
        return std::nullopt;
    }
    std::array<std::uint8_t, kPlaceableHeaderSize> header{};
    platform::Store32(header.data(), kPlaceableKey);
    // header[4..5]: the handle, 0 in a file
    platform::Store16(header.data() + 6, static_cast<std::uint16_t>(left));
    platform::Store16(header.data() + 8, static_cast<std::uint16_t>(top));
    platform::Store16(header.data() + 10, static_cast<std::uint16_t>(right));
    platform::Store16(header.data() + 12, static_cast<std::uint16_t>(bottom));
    platform::Store16(header.data() + 14, static_cast<std::uint16_t>(inch));
    // header[16..19]: reserved, 0
    std::uint16_t checksum = 0;
    for (std::size_t i = 0; i < 20; i += 2)
        checksum ^= platform::Load16(header.data() + i);
    platform::Store16(header.data() + 20, checksum);
    return header;
}

TPictureFile WindowsMetafile(const TByteCursor& stored, const TMetafileHeader& h, TBytes data) {
    const TByteCursor m(data.data(), data.size());
    if (m.Size() >= kPlaceableHeaderSize && platform::Load32(data.data()) == kPlaceableKey &&
        IsWmfHeader(m, kPlaceableHeaderSize))
        return Converted(".wmf", std::move(data));
    if (!IsWmfHeader(m, 0)) return AsStored(stored, "the metafile is not a Windows metafile");
    const auto header = PlaceableHeader(h);
    if (!header) return Converted(".wmf", std::move(data));  // a plain metafile opens too
    data.insert(data.begin(), header->begin(), header->end());
    return Converted(".wmf", std::move(data));
}

TPictureFile Metafile(const TByteCursor& stored, std::uint8_t type) {
    if (!StartsWith(stored, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, type, 0xFF}))
        return AsStored(stored, "the metafile's marker is missing");
    const std::optional<TMetafileHeader> h = FindMetafileHeader(stored, kMetafilePrefixSize, 0);
    if (!h) return AsStored(stored, "the metafile's header is damaged");
    std::string problem;
    std::optional<TBytes> data = MetafileData(stored, *h, problem);
    if (!data) return AsStored(stored, problem);
    if (type == btWMF) return WindowsMetafile(stored, *h, std::move(*data));
    const TByteCursor m(data->data(), data->size());
    if (m.Size() < kEmfSignatureAt + 4 || platform::Load32(data->data()) != kEmfHeaderRecord ||
        platform::Load32(data->data() + kEmfSignatureAt) != kEmfSignature)
        return AsStored(stored, "the metafile is not an enhanced metafile");
    return Converted(".emf", std::move(*data));
}

TPictureFile Pict(const TByteCursor& stored) {
    if (stored.Size() < kRecordHeaderSize || platform::Load16(stored.Data() + 2) != kPictRecordType)
        return AsStored(stored, "the picture record's header is missing");
    const std::uint16_t instance = platform::Load16(stored.Data()) >> 4;
    const int uids = instance == kPictOneUid ? 1 : instance == kPictTwoUids ? 2 : 0;
    const std::optional<TMetafileHeader> h = FindMetafileHeader(stored, kRecordHeaderSize, uids);
    if (!h) return AsStored(stored, "the picture's header is damaged");
    std::string problem;
    std::optional<TBytes> data = MetafileData(stored, *h, problem);
    if (!data) return AsStored(stored, problem);
    if (data->size() < kPictMinimumSize)
        return AsStored(stored, "the picture is too short for a PICT picture");
    data->insert(data->begin(), kPictFileHeaderSize, 0);
    return Converted(".pict", std::move(*data));
}

}  // namespace

TPictureFile MakePictureFile(std::uint8_t blipType, const std::uint8_t* data, std::size_t size) {
    const TByteCursor stored(data, size);
    if (size == 0) return AsStored(stored, "the picture has no data");
    switch (blipType) {
        case btJPEG:
            return WholeFile(stored, {0xFF, 0xD8, 0xFF}, ".jpg", "JPEG");
        case btPNG:
            return WholeFile(stored, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, ".png", "PNG");
        case btDIB:
            return Bitmap(stored);
        case btEMF:
        case btWMF:
            return Metafile(stored, blipType);
        case btPICT:
            return Pict(stored);
        default:
            return AsStored(stored, "the picture type " + std::to_string(blipType) + " is unknown");
    }
}

TPictureFile MakePictureFile(const TXLSImage& image) {
    return MakePictureFile(image.BlipType, image.Data.Memory(),
                           static_cast<std::size_t>(image.Data.Size()));
}

std::string SafeFileNamePart(const std::u16string& text) {
    static constexpr std::u16string_view kRefused = u"/\\:*?\"<>|";
    std::u16string safe = text;
    for (char16_t& c : safe) {
        if (c < 0x20 || c == 0x7F || kRefused.find(c) != std::u16string_view::npos) c = u'_';
    }
    std::string name = platform::Utf16ToUtf8(safe);
    if (name.size() > kMaxNamePartBytes) {
        std::size_t cut = kMaxNamePartBytes;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;  // not inside a character
        name.resize(cut);
    }
    if (name.empty()) return "Sheet";
    // No hidden file or "..", and no name that some file systems cut short.
    if (name.front() == '.' || name.front() == ' ') name.front() = '_';
    if (name.back() == '.' || name.back() == ' ') name.back() = '_';
    return name;
}

std::string PictureFileStem(const std::u16string& sheetName, const TXLSImage& image, int position) {
    const std::int64_t row = std::max(0, image.FirstRow) + std::int64_t{1};
    return SafeFileNamePart(sheetName) + "_" + ColumnName(std::max(0, image.FirstCol)) +
           std::to_string(row) + "_" + std::to_string(position);
}

}  // namespace vorlix

// A sheet's pictures as files that image viewers open, and the names of those files.
//
// The picture store of a workbook keeps JPEG and PNG pictures as whole files, but a
// device-independent bitmap without the size and offset of its file header, and the
// metafiles (EMF, WMF, PICT) behind a header of their own, mostly deflate-compressed. A
// sheet's picture keeps these bytes as they were read (TXLSImage::Data); this completes
// them into standard files. Every read of the stored bytes is bounds-checked and nothing
// grows beyond what the picture's own header states or kMaxPictureFileBytes, so damaged
// or hostile bytes give a picture that is "not converted", never a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vorlix {

struct TXLSImage;

// The picture store's types (the low four bits of its entry's instance).
enum TBlipType : std::uint8_t {
    btEMF = 2,
    btWMF = 3,
    btPICT = 4,
    btJPEG = 5,
    btPNG = 6,
    btDIB = 7,
};

// The largest picture file made; a decompressed metafile is also held to the size its
// header states.
inline constexpr std::size_t kMaxPictureFileBytes = std::size_t{256} << 20;

struct TPictureFile {
    // ".jpg", ".png", ".bmp", ".emf", ".wmf" or ".pict"; ".bin" when the bytes could not
    // be made into such a file: Bytes are then the stored bytes and Problem says why.
    std::string Extension;
    std::vector<std::uint8_t> Bytes;
    std::string Problem;

    bool Converted() const { return Problem.empty(); }
};

// The file of a picture whose stored bytes are `data` (as TXLSImage::Data holds them):
// - JPEG, PNG: the file as stored;
// - DIB: a BMP file: the file header's signature, file size and pixel data offset, then
//   the bitmap;
// - EMF: the decompressed metafile;
// - WMF: the decompressed metafile, with a placeable-metafile header in front (made from
//   the stored bounds and size) when it has none;
// - PICT: a 512-byte zero header, then the decompressed picture.
// The store may keep a second 16-byte identifier in front of a picture; it is recognised
// by where the picture's own header lies.
TPictureFile MakePictureFile(std::uint8_t blipType, const std::uint8_t* data, std::size_t size);
TPictureFile MakePictureFile(const TXLSImage& image);

// The part of a file name that stands for a sheet: its name in UTF-8 with the characters
// that file systems refuse or treat specially (/ \ : * ? " < > |, control characters) and
// a leading or trailing "." or space replaced by "_", at most 100 bytes; "Sheet" for an
// empty name.
std::string SafeFileNamePart(const std::u16string& text);

// The name of a picture's file without its extension: the sheet's name (SafeFileNamePart),
// the cell of the picture's top left corner and its position among the sheet's pictures
// (from 1), joined by "_": "Sheet1_B3_1".
std::string PictureFileStem(const std::u16string& sheetName, const TXLSImage& image, int position);

}  // namespace vorlix

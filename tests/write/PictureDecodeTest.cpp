// The picture files of bitmaps, PNG and JPEG pictures open in an image reader (Qt's) and
// show the pixels that were stored.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <cstdlib>

#include "tests/write/PictureBytes.h"
#include "xls/write/PictureFiles.h"

namespace vorlix {
namespace {

using test::Bytes;

Bytes Encoded(const QImage& image, const char* format) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format));
    return Bytes(data.begin(), data.end());
}

QImage Decoded(const TPictureFile& file, const char* expectedFormat) {
    QByteArray data(reinterpret_cast<const char*>(file.Bytes.data()),
                    static_cast<qsizetype>(file.Bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    EXPECT_EQ(reader.format(), QByteArray(expectedFormat));
    QImage image = reader.read();
    EXPECT_FALSE(image.isNull()) << reader.errorString().toStdString();
    return image;
}

QImage Pattern(int width, int height, QImage::Format format) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 50) % 256, (y * 80) % 256, ((x + y) % 2) * 255));
    }
    return image.convertToFormat(format);
}

void ExpectSamePixels(const QImage& a, const QImage& b) {
    ASSERT_EQ(a.size(), b.size());
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col)
            ASSERT_EQ(x.pixel(col, row), y.pixel(col, row)) << col << "," << row;
    }
}

TEST(PictureDecodeTest, BitmapsOfEveryDepthOpen) {
    const QImage::Format formats[] = {QImage::Format_Mono, QImage::Format_Indexed8,
                                      QImage::Format_RGB32, QImage::Format_ARGB32};
    for (const QImage::Format format : formats) {
        SCOPED_TRACE(static_cast<int>(format));
        const QImage original = Pattern(7, 5, format);
        const Bytes bmp = Encoded(original, "BMP");
        const Bytes dib(bmp.begin() + 14, bmp.end());
        for (const bool secondUid : {false, true}) {
            const Bytes stored = test::StoredDib(dib, secondUid);
            const TPictureFile file = MakePictureFile(btDIB, stored.data(), stored.size());
            ASSERT_EQ(file.Extension, ".bmp") << file.Problem;
            ExpectSamePixels(Decoded(file, "bmp"), original);
        }
    }
}

TEST(PictureDecodeTest, BitmapWithFewColoursOrMasksShowsItsColours) {
    // 8 bits with a colour table of two entries (blue, then red): pixels 1, 0.
    const Bytes twoColours = test::Dib(2, 1, 8, 0, 2,
                                       {0xFF, 0, 0, 0,  // blue (B, G, R, 0)
                                        0, 0, 0xFF, 0,  // red
                                        1, 0, 0, 0});   // the row, padded to 4 bytes
    // 16 bits 5-6-5 with their masks: a red and a green pixel.
    Bytes masks;
    for (const std::uint32_t mask : {0xF800u, 0x07E0u, 0x001Fu})
        test::Put32(masks, mask);
    test::Append(masks, {0x00, 0xF8, 0xE0, 0x07});
    const Bytes rgb565 = test::Dib(2, 1, 16, 3, 0, masks);
    const struct {
        Bytes dib;
        QRgb left, right;
    } cases[] = {{twoColours, qRgb(255, 0, 0), qRgb(0, 0, 255)},
                 {rgb565, qRgb(255, 0, 0), qRgb(0, 255, 0)}};
    for (const auto& c : cases) {
        const Bytes stored = test::StoredDib(c.dib);
        const TPictureFile file = MakePictureFile(btDIB, stored.data(), stored.size());
        const QImage image = Decoded(file, "bmp").convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(image.size(), QSize(2, 1));
        // Five or six bits of a colour are widened to eight by the reader as it likes.
        const auto near = [](QRgb a, QRgb b) {
            return std::abs(qRed(a) - qRed(b)) < 8 && std::abs(qGreen(a) - qGreen(b)) < 8 &&
                   std::abs(qBlue(a) - qBlue(b)) < 8;
        };
        EXPECT_TRUE(near(image.pixel(0, 0), c.left)) << std::hex << image.pixel(0, 0);
        EXPECT_TRUE(near(image.pixel(1, 0), c.right)) << std::hex << image.pixel(1, 0);
    }
}

TEST(PictureDecodeTest, PngAndJpegOpenAsStored) {
    const QImage original = Pattern(9, 4, QImage::Format_RGB32);
    for (const bool secondUid : {false, true}) {
        const Bytes png = test::StoredFile(Encoded(original, "PNG"), secondUid);
        const TPictureFile pngFile = MakePictureFile(btPNG, png.data(), png.size());
        ASSERT_EQ(pngFile.Extension, ".png");
        ExpectSamePixels(Decoded(pngFile, "png"), original);
        const Bytes jpeg = test::StoredFile(Encoded(original, "JPEG"), secondUid);
        const TPictureFile jpegFile = MakePictureFile(btJPEG, jpeg.data(), jpeg.size());
        ASSERT_EQ(jpegFile.Extension, ".jpg");
        EXPECT_EQ(Decoded(jpegFile, "jpeg").size(), original.size());
    }
}

}  // namespace
}  // namespace vorlix

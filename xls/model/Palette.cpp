#include "xls/model/Palette.h"

#include <array>
#include <cmath>
#include <mutex>

#include "platform/SystemColors.h"

namespace vorlix {

namespace {

// 0xRRGGBB, as colours are usually quoted, in the palette's order 0x00BBGGRR.
constexpr std::uint32_t FromRgb(std::uint32_t rgb) {
    return (rgb >> 16 & 0xFF) | (rgb & 0x00FF00) | (rgb & 0xFF) << 16;
}

// Entries 1..56 are the workbook format's default colours 8..63, as 0xRRGGBB.
constexpr std::array<std::uint32_t, 56> kDefaultColors = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};

// Entries 57 and 58 stand for the format's system foreground (64) and background (65),
// which a reader without a desktop takes as black.
constexpr TPalette MakeDefaultPalette() {
    std::array<std::uint32_t, kPaletteSize> palette{};
    for (std::size_t i = 0; i < kDefaultColors.size(); ++i)
        palette[i] = FromRgb(kDefaultColors[i]);
    return palette;
}

constexpr TPalette kDefaultPalette = MakeDefaultPalette();

// Workbook colour codes 8..65 are palette entries 1..58.
constexpr std::uint32_t kFirstPaletteCode = 8;
constexpr std::uint32_t kLastPaletteCode = kFirstPaletteCode + kPaletteSize - 1;

// A colour with this bit set names a system colour by its low byte.
constexpr std::uint32_t kSystemColorFlag = 0x80000000;
constexpr std::uint32_t kSystemColorIndexMask = 0xFF;

constexpr long kFarthest = 0xFFFFFF;

// The palette new workbooks start from; workbooks never change it.
std::mutex processPaletteLock;
TPalette processPalette = kDefaultPalette;

bool InPalette(int index) {
    return index >= 1 && index <= kPaletteSize;
}

int Channel(std::uint32_t color, int shift) {
    return static_cast<int>(color >> shift & 0xFF);
}

long RoundedDistance(std::uint32_t a, std::uint32_t b) {
    long sum = 0;
    for (const int shift : {0, 8, 16}) {
        const long d = Channel(a, shift) - Channel(b, shift);
        sum += d * d;
    }
    // The square root of an integer is never exactly halfway between two integers, so the
    // rounding mode cannot matter here.
    return std::lround(std::sqrt(static_cast<double>(sum)));
}

}  // namespace

const TPalette& DefaultPalette() {
    return kDefaultPalette;
}

std::uint32_t PaletteColor(const TPalette& palette, int index) {
    return InPalette(index) ? palette[static_cast<std::size_t>(index - 1)] : 0;
}

void SetPaletteColor(TPalette& palette, int index, std::uint32_t color) {
    if (InPalette(index)) palette[static_cast<std::size_t>(index - 1)] = color;
}

std::uint32_t PaletteColor(int index) {
    const std::lock_guard lock(processPaletteLock);
    return PaletteColor(processPalette, index);
}

void SetPaletteColor(int index, std::uint32_t color) {
    const std::lock_guard lock(processPaletteLock);
    SetPaletteColor(processPalette, index, color);
}

void ResetPalette() {
    const std::lock_guard lock(processPaletteLock);
    processPalette = kDefaultPalette;
}

TPalette ProcessPalette() {
    const std::lock_guard lock(processPaletteLock);
    return processPalette;
}

std::uint8_t PaletteIndexFromBIFF(std::uint32_t code) {
    if (code < kFirstPaletteCode || code > kLastPaletteCode) return 1;
    return static_cast<std::uint8_t>(code - kFirstPaletteCode + 1);
}

std::uint8_t NearestPaletteIndex(std::uint32_t color) {
    return NearestPaletteIndex(ProcessPalette(), color);
}

std::uint8_t NearestPaletteIndex(const TPalette& palette, std::uint32_t color) {
    if (color & kSystemColorFlag) {
        color = platform::SystemColor(static_cast<int>(color & kSystemColorIndexMask));
    }
    // The first of equally near entries wins, so a colour the palette holds twice (yellow
    // is entries 6 and 27) maps to its lower index.
    std::uint8_t best = 1;
    long bestDistance = kFarthest;
    for (int index = 1; index <= kPaletteSize; ++index) {
        const long distance = RoundedDistance(color, PaletteColor(palette, index));
        if (distance < bestDistance) {
            best = static_cast<std::uint8_t>(index);
            bestDistance = distance;
        }
    }
    return best;
}

}  // namespace vorlix

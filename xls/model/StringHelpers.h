// Conversions between wide (UTF-16) text, 8-bit text in a code page and the byte images
// of UTF-16 text that some stores keep. The functions without a code page use the
// process-wide library code page; what reads or shows a workbook passes the workbook's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorlix {

// The first `count` characters of `text` (all of them when count is larger) in the
// code page; characters it cannot hold become '?'.
std::string WideToAnsi(std::uint32_t codePage, std::u16string_view text, std::size_t count);
inline std::string WideToAnsi(std::uint32_t codePage, std::u16string_view text) {
    return WideToAnsi(codePage, text, text.size());
}
// A UTF-16LE byte image (an odd last byte is dropped) in the code page.
std::string WideBytesToAnsi(std::uint32_t codePage, std::string_view bytes);
// 8-bit text in the code page, up to its first zero byte, as UTF-16.
std::u16string AnsiToWide(std::uint32_t codePage, std::string_view text);
// The same three in the library code page.
std::string WideToAnsi(std::u16string_view text, std::size_t count);
std::string WideToAnsi(std::u16string_view text);
std::string WideBytesToAnsi(std::string_view bytes);
std::u16string AnsiToWide(std::string_view text);
// Two bytes per character, low byte first.
std::string WideToBytes(std::u16string_view text);
// The inverse of WideToBytes; an odd last byte is dropped.
std::u16string BytesToWide(std::string_view bytes);
// BIFF8 "compressed" characters are the low bytes of UTF-16 units: code points 0..255.
std::u16string ExpandLatin1(std::string_view bytes);
// A marked string: when `flagged` is not empty and starts with byte 1, the rest is a
// UTF-16LE image and becomes `out`; otherwise `out` is left as it was.
void FlaggedBytesToWide(std::string_view flagged, std::u16string& out);
// Each byte followed by a zero byte: 8-bit characters taken as code points 0..255.
std::string ExpandCompressedBytes(std::string_view text);
// Every occurrence of `from`, left to right and without overlap, replaced by `to`.
std::u16string WideReplaceAll(std::u16string_view text, std::u16string_view from,
                              std::u16string_view to);
// Each nonzero byte of the text's UTF-16 byte image lower-cased on its own by the code
// page's 8-bit mapping.
std::u16string WideLowerCaseBytes(std::uint32_t codePage, std::u16string_view text);
// Each nonzero byte upper-cased on its own by the code page's 8-bit mapping.
std::string AnsiUpperCaseBytes(std::uint32_t codePage, std::string_view text);
// The same two in the library code page.
std::u16string WideLowerCaseBytes(std::u16string_view text);
std::string AnsiUpperCaseBytes(std::string_view text);

}  // namespace vorlix

// Code-page conversions between 8-bit text and UTF-16, and 8-bit case mapping.
//
// Code pages are named by their Windows numbers (1252, 932, 65001, ...) and converted
// through iconv. The system code page of this platform is always 65001 (UTF-8); the
// library code page is a process-wide default that starts as the system code page: a
// workbook copies it when created and converts its texts with its own copy.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorlix::platform {

inline constexpr std::uint32_t kCodePageUtf8 = 65001;

// The platform's "ANSI" code page: UTF-8 on Linux.
std::uint32_t SystemCodePage();

// Process-wide code page used by the wide/8-bit string helpers. Starts as SystemCodePage().
std::uint32_t LibraryCodePage();
void SetLibraryCodePage(std::uint32_t codePage);

// True when conversions in this code page are available on this machine.
bool IsCodePageSupported(std::uint32_t codePage);

// 8-bit text in `codePage` to UTF-16. Every byte is converted, zero bytes included.
// Malformed sequences become U+FFFD. An unsupported code page is read as Latin-1 so
// that no byte is lost.
std::u16string MultiByteToWide(std::uint32_t codePage, std::string_view text);

// UTF-16 to 8-bit text in `codePage`. Characters the code page cannot hold become '?'
// (U+FFFD in UTF-8 for unpaired surrogates).
std::string WideToMultiByte(std::uint32_t codePage, std::u16string_view text);

// Case mapping of one byte, as the code page maps single characters: ASCII letters only
// for UTF-8 and the multi-byte East Asian code pages, the code page's own letters for
// single-byte code pages. Bytes without a single-byte counterpart stay as they are.
unsigned char CharUpperA(std::uint32_t codePage, unsigned char c);
unsigned char CharLowerA(std::uint32_t codePage, unsigned char c);

// UTF-8 helpers used across the program (no iconv involved).
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
// Appends the UTF-8 form of `text` to `out`.
void AppendUtf8(std::string& out, std::u16string_view text);

// File names are bytes on Linux and need not be UTF-8. These two convert them without
// loss: a byte that is not part of a UTF-8 character becomes the unpaired surrogate
// U+DC80..U+DCFF and turns back into that byte; everything else converts as above.
std::u16string FileNameToUtf16(std::string_view name);
std::string Utf16ToFileName(std::u16string_view name);

}  // namespace vorlix::platform

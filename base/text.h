// Text helpers: the store gives UTF-16, POSIX file names are UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace bm {

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD so nothing is silently cut.
std::string ToUtf8(std::u16string_view text);

// Appends the UTF-8 form of a code point; surrogates and values beyond U+10FFFF become U+FFFD.
void AppendUtf8(std::string& out, char32_t code_point);

// UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::u16string FromUtf8(std::string_view text);

// Whether a UTF-16 unit is the first (high) or second (low) half of a surrogate pair.
constexpr bool IsHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The code point of a surrogate pair.
constexpr char32_t JoinSurrogates(char32_t high, char32_t low) {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// The character of a code page 1252 (windows-1252) byte. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 controls of the same value, so
// every byte has a character and comes back unchanged through CharToCp1252.
char16_t Cp1252ToChar(std::uint8_t byte);

// The code page 1252 byte of a character, or nothing when the code page has no such
// character. Inverse of Cp1252ToChar.
std::optional<std::uint8_t> CharToCp1252(char16_t ch);

// Code page 1252 bytes as UTF-8, each byte by Cp1252ToChar.
std::string Cp1252ToUtf8(std::string_view bytes);

// Each byte becomes the code unit of the same value (Latin-1 widening).
std::u16string BytesToText(std::span<const std::uint8_t> bytes);

// UTF-16LE bytes as text; an odd last byte is dropped.
std::u16string Utf16LeToText(std::span<const std::uint8_t> bytes);

// The code page that marks text stored as UTF-16LE.
inline constexpr int kUtf16LeCodePage = 1200;

// Text stored in Windows code page `code_page` (UTF-16LE for 1200, UTF-8 for 65001). A code
// page the system cannot convert is read as 1252; a byte the code page has no character for
// is widened as Latin-1, so no byte is dropped.
std::u16string DecodeCodePage(std::span<const std::uint8_t> bytes, int code_page);

// Copies the code units, dropping every unit below 32 (control characters).
std::u16string Utf16ToText(std::u16string_view text);

// Replaces every occurrence of `from` (not empty) by `to`, scanning left to right.
void ReplaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to);

// Decimal text of an integer.
std::u16string DecimalText(long long value);

}  // namespace bm

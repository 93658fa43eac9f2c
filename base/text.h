// Text helpers: the store gives UTF-16, POSIX file names are UTF-8.
#pragma once

#include <cstdint>
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

// Each byte becomes the code unit of the same value (Latin-1 widening).
std::u16string BytesToText(std::span<const std::uint8_t> bytes);

// Copies the code units, dropping every unit below 32 (control characters).
std::u16string Utf16ToText(std::u16string_view text);

// Replaces every occurrence of `from` (not empty) by `to`, scanning left to right.
void ReplaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to);

// Decimal text of an integer.
std::u16string DecimalText(long long value);

}  // namespace bm

// Code page 1252: how the RTF reader carries bytes 0x80 to 0xFF as characters, and how the
// converted text file turns them back into the same bytes.
#pragma once

#include <cstdint>
#include <optional>

namespace bm {

// The character of a code page 1252 byte. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 controls of the same value.
char16_t Cp1252ToChar(std::uint8_t byte);

// The byte of a character in code page 1252, or nothing when the code page has no such
// character. Inverse of Cp1252ToChar.
std::optional<std::uint8_t> CharToCp1252(char16_t ch);

}  // namespace bm

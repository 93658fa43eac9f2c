// The RTF text reader: a table-driven reader of the RTF tokenizer's tokens (base/rtf_tokenizer.h)
// that skips the destinations a reader does not show (font table, colours, style sheet,
// document information, headers, pictures, ...) and copies the remaining text byte for byte,
// so the converted text file gives back the body's own bytes. It does not interpret Unicode
// words (their fallback text shows), code pages, fields or formatting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace bm {

// Result codes of ConvertRtfToText. Whatever text was appended before an error stays.
namespace rtf {
inline constexpr int kOk = 0;
inline constexpr int kStackUnderflow = 1;  // a "}" with no open group
inline constexpr int kStackOverflow = 2;   // no room for another open group
inline constexpr int kUnmatchedBrace = 3;  // end of input with groups still open
inline constexpr int kInvalidHex = 4;      // not a hexadecimal digit after \'
inline constexpr int kBadTable = 5;        // a keyword table row with an impossible target
inline constexpr int kAssertion = 6;       // inconsistent input state
inline constexpr int kEndOfFile = 7;       // input ends right after "\" or a parameter's "-"

// Open groups beyond this many are refused with kStackOverflow: a body of nothing but "{"
// must not exhaust memory. Real documents nest a few dozen groups deep.
inline constexpr std::size_t kMaxGroupDepth = 10000;
}  // namespace rtf

// Runs a reader with fresh state over `rtf` and appends the text it extracts to `text`, one
// character per byte; bytes 0x80 to 0xFF become their code page 1252 characters. Nothing of
// one run carries over to the next.
int ConvertRtfToText(std::span<const std::uint8_t> rtf, std::u16string& text);

// The same over an open, readable file, read from its current position to its end.
int ConvertRtfToText(std::FILE* file, std::u16string& text);

}  // namespace bm

// Byte-to-UTF-8 decoding for the component's text inputs (body files, RTF code pages, HTML
// charsets).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace bm {

// The bytes when they are valid UTF-8, otherwise their windows-1252 reading.
std::string Utf8OrWindows1252(std::string_view bytes);

// The text when it is valid UTF-8; otherwise each invalid sequence replaced by U+FFFD.
std::string ValidUtf8(std::string text);

// Decodes `bytes` from the named charset (an iconv name or a Windows code page as "CP1251").
// nullopt when the charset is unknown or the bytes are not valid in it.
std::optional<std::string> CharsetToUtf8(std::string_view bytes, std::string_view charset);

// Decodes bytes of a Windows code page (1252, 1251, 932, 65001, ...); unknown code pages and
// undecodable bytes fall back to windows-1252.
std::string CodePageToUtf8(std::string_view bytes, int code_page);

// LF and lone CR line ends become CR LF.
std::string ToCrLf(std::string_view text);

}  // namespace bm

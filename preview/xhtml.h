// Building blocks of the preview pages: escaping for XHTML and file URLs for frame sources.
#pragma once

#include <string>
#include <string_view>

namespace bm {

// `text` made safe to place in XHTML element content or a quoted attribute value: "&", "<",
// ">", '"' and "'" become references, and characters XML does not allow (controls other
// than tab, line feed and carriage return, unpaired surrogates, U+FFFE, U+FFFF) become
// U+FFFD, so the page stays well-formed whatever the store holds.
std::u16string EscapeXhtml(std::u16string_view text);

// The file:// URL of an absolute file path, every byte outside the unreserved set, "/" and
// ":" percent-encoded (UTF-8), so no quote, "#", "?" or "%" in a path can change its meaning.
// An empty path gives an empty text.
std::u16string FileUrl(std::u16string_view path);

}  // namespace bm

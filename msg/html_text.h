// Readable plain text of an HTML document (HTML5 parsing with gumbo).
#pragma once

#include <string>
#include <string_view>

namespace bm {

// The charset an HTML document declares: its byte-order mark first, then a meta tag's
// charset (either form); lower case; empty when neither says.
std::string DeclaredHtmlCharset(std::string_view html);

// The document as UTF-8 without a byte-order mark: decoded from the declared charset, else
// kept when valid UTF-8, else read as windows-1252.
std::string HtmlToUtf8(std::string_view html);

// Plain text (UTF-8, LF line ends) of an HTML document given as bytes: block elements end
// lines, scripts, styles and the head are dropped, entities are decoded, a link's target
// follows its text in angle brackets, table cells are separated by tabs.
std::string HtmlToText(std::string_view html);

}  // namespace bm

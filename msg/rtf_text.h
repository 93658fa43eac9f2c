// Plain text of RTF documents, decoded to UTF-8 (the component's reader; the preview's reader
// copies bytes instead). Both read the tokens of base/rtf_tokenizer.h.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace bm {

// The HTML that an RTF document encapsulates (\fromhtml1), as UTF-8; nullopt for RTF that
// does not encapsulate HTML.
std::optional<std::string> ExtractRtfHtml(std::string_view rtf);

// Readable plain text (UTF-8, LF line ends) of an RTF document: \uN and \'hh decoded in the
// document's and the fonts' code pages, destinations such as the font table, pictures and
// fields' instructions dropped; for encapsulated HTML the text of that HTML.
std::string RtfToText(std::string_view rtf);

}  // namespace bm

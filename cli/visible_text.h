// Texts from a store as the command line prints them: a sender name or a subject can hold
// terminal escape sequences (window titles, colours, cursor moves), so no control character
// reaches the terminal as it is.
#pragma once

#include <string>
#include <string_view>

namespace bm::cli {

enum class LineBreaks {
  kVisible,  // one-line values (list cells, names, paths): every control character is shown
  kKept,     // multi-line text (a previewed body): LF and tab stay, CR before LF is dropped
};

// `text` as UTF-8 with its control characters made visible: C0 controls and DEL as their
// Unicode control pictures (ESC as U+241B, tab as U+2409, ...), C1 controls and the
// direction overrides that can disguise text as "<U+009B>", "<U+202E>".
std::string VisibleText(std::u16string_view text, LineBreaks breaks = LineBreaks::kVisible);

// The same for text that is already UTF-8 (it is decoded first).
std::string VisibleUtf8(std::string_view text, LineBreaks breaks = LineBreaks::kVisible);

}  // namespace bm::cli

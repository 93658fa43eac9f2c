#include "cli/visible_text.h"

#include <cstdio>

#include "base/text.h"

namespace bm::cli {

namespace {

constexpr char16_t kControlPictures = 0x2400;
constexpr char16_t kDeletePicture = 0x2421;

bool IsC1Control(char16_t unit) {
  return unit >= 0x80 && unit <= 0x9F;
}

// Characters that reorder the text around them (bidirectional embeddings, overrides and
// isolates): printed raw, they make a name read differently from what it is.
bool IsDirectionControl(char16_t unit) {
  return (unit >= 0x202A && unit <= 0x202E) || (unit >= 0x2066 && unit <= 0x2069);
}

std::u16string CodePointName(char16_t unit) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "<U+%04X>", static_cast<unsigned>(unit));
  return FromUtf8(buffer);
}

}  // namespace

std::string VisibleText(std::u16string_view text, LineBreaks breaks) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (breaks == LineBreaks::kKept) {
      if (unit == u'\n' || unit == u'\t') {
        out += unit;
        continue;
      }
      if (unit == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
    }
    if (unit < 0x20) {
      out += static_cast<char16_t>(kControlPictures + unit);
    } else if (unit == 0x7F) {
      out += kDeletePicture;
    } else if (IsC1Control(unit) || IsDirectionControl(unit)) {
      out += CodePointName(unit);
    } else {
      out += unit;
    }
  }
  return ToUtf8(out);
}

std::string VisibleUtf8(std::string_view text, LineBreaks breaks) {
  return VisibleText(FromUtf8(text), breaks);
}

}  // namespace bm::cli

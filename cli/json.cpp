#include "cli/json.h"

#include <cstdio>

#include "base/text.h"

namespace bm::cli {

namespace {

// Controls a terminal may act on when the JSON is shown raw: C0, DEL, C1, and the direction
// overrides; all are written as \u escapes.
bool IsEscapedUnit(char16_t unit) {
  return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F) || (unit >= 0x202A && unit <= 0x202E) ||
         (unit >= 0x2066 && unit <= 0x2069);
}

}  // namespace

std::string JsonString(std::string_view text) {
  const std::u16string units = FromUtf8(text);
  std::u16string out = u"\"";
  for (const char16_t unit : units) {
    switch (unit) {
      case u'"':
        out += u"\\\"";
        break;
      case u'\\':
        out += u"\\\\";
        break;
      case u'\n':
        out += u"\\n";
        break;
      case u'\r':
        out += u"\\r";
        break;
      case u'\t':
        out += u"\\t";
        break;
      default:
        if (IsEscapedUnit(unit)) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(unit));
          out += FromUtf8(buffer);
        } else {
          out += unit;
        }
    }
  }
  out += u'"';
  return ToUtf8(out);
}

}  // namespace bm::cli

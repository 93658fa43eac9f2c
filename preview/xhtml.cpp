#include "preview/xhtml.h"

#include "base/paths.h"
#include "base/text.h"

namespace bm {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsXmlControl(char16_t u) {
  return (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0xFFFE || u == 0xFFFF;
}

bool IsUnreserved(unsigned char b) {
  return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' ||
         b == '.' || b == '_' || b == '~' || b == '/' || b == ':';
}

}  // namespace

std::u16string EscapeXhtml(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    switch (u) {
      case u'&':
        out += u"&amp;";
        continue;
      case u'<':
        out += u"&lt;";
        continue;
      case u'>':
        out += u"&gt;";
        continue;
      case u'"':
        out += u"&quot;";
        continue;
      case u'\'':
        out += u"&#39;";
        continue;
      default:
        break;
    }
    if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      out.push_back(u);
      out.push_back(text[++i]);
    } else if (IsHighSurrogate(u) || IsLowSurrogate(u) || IsXmlControl(u)) {
      out.push_back(kReplacement);
    } else {
      out.push_back(u);
    }
  }
  return out;
}

std::u16string FileUrl(std::u16string_view path) {
  // No path, no URL: an empty frame source shows a blank frame, not the file-system root.
  if (path.empty()) return {};
  std::u16string normalised(path);
  if (kSeparator != u'/') ReplaceAll(normalised, kSeparatorText, u"/");
  // A drive-letter path ("C:/...") needs the third slash of "file:///".
  if (normalised.front() != u'/') normalised.insert(0, 1, u'/');

  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string url = u"file://";
  for (const char byte : ToUtf8(normalised)) {
    const auto b = static_cast<unsigned char>(byte);
    if (IsUnreserved(b)) {
      url.push_back(b);
    } else {
      url.push_back(u'%');
      url.push_back(kHex[b >> 4]);
      url.push_back(kHex[b & 0x0F]);
    }
  }
  return url;
}

}  // namespace bm

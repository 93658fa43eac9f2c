#include "msg/charset.h"

#include <glib.h>

#include "base/text.h"
#include "msg/glib_ptr.h"

namespace bm {

std::string Utf8OrWindows1252(std::string_view bytes) {
  if (g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)) {
    return std::string(bytes);
  }
  return Cp1252ToUtf8(bytes);
}

std::string ValidUtf8(std::string text) {
  const auto size = static_cast<gssize>(text.size());
  if (g_utf8_validate_len(text.data(), static_cast<gsize>(size), nullptr)) return text;
  const GMemoryPtr<gchar> valid(g_utf8_make_valid(text.data(), size));
  return valid ? std::string(valid.get()) : std::string();
}

std::optional<std::string> CharsetToUtf8(std::string_view bytes, std::string_view charset) {
  const std::string name(charset);
  gsize written = 0;
  GError* raw_error = nullptr;
  GMemoryPtr<gchar> converted(g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8",
                                        name.c_str(), nullptr, &written, &raw_error));
  const GErrorPtr error(raw_error);
  if (!converted || error) return std::nullopt;
  return std::string(converted.get(), written);
}

std::string CodePageToUtf8(std::string_view bytes, int code_page) {
  switch (code_page) {
    case 1252:
    case 0:
      return Cp1252ToUtf8(bytes);
    case 65001:
      return Utf8OrWindows1252(bytes);
    case 10000:
      if (auto text = CharsetToUtf8(bytes, "MACINTOSH")) return *text;
      break;
    default:
      if (auto text = CharsetToUtf8(bytes, "CP" + std::to_string(code_page))) return *text;
      break;
  }
  return Cp1252ToUtf8(bytes);
}

std::string ToCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] == '\n') {
      out += "\r\n";
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

}  // namespace bm

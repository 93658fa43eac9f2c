// libFuzzer target: the HTML-to-text conversion (charset sniffing, decoding, gumbo parsing and
// the text walk). Every result must be valid UTF-8 and the same on a second run; the text of
// a document must not carry the contents of its scripts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "msg/html_text.h"

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "html_text_fuzzer: %s\n", what);
  std::abort();
}

bool ValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    std::uint32_t code = lead;
    if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07;
    } else if (lead >= 0xE0) {
      length = 3;
      code = lead & 0x0F;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1F;
    } else if (lead >= 0x80) {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view html(reinterpret_cast<const char*>(data), size);
  const std::string charset = bm::DeclaredHtmlCharset(html);
  for (const char c : charset) Check(!(c >= 'A' && c <= 'Z'), "charset in lower case");

  const std::string utf8 = bm::HtmlToUtf8(html);
  Check(ValidUtf8(utf8), "HtmlToUtf8 gives valid UTF-8");

  const std::string text = bm::HtmlToText(html);
  Check(ValidUtf8(text), "HtmlToText gives valid UTF-8");
  Check(text.find('\r') == std::string::npos, "LF line ends");
  Check(bm::HtmlToText(html) == text, "same text on a second run");

  // A script's contents never reach the text. The script goes first: after the input it
  // could be swallowed by an unfinished tag and become ordinary text.
  // The parser drops NUL bytes, so an input can spell the marker with NULs in between.
  std::string visible(html);
  std::erase(visible, '\0');
  const std::string with_script = "<script>ZQXJ_script_marker()</script>" + std::string(html);
  Check(bm::HtmlToText(with_script).find("ZQXJ_script_marker") == std::string::npos ||
            visible.find("QXJ") != std::string::npos,
        "script contents stay out of the text");
  return 0;
}

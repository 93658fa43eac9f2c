// libFuzzer target: the RTF tokenizer in both its modes, the two RTF readers built on it over
// arbitrary bytes, and the escaping the preview's text goes through on the way into a page.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "base/rtf_tokenizer.h"
#include "msg/rtf_text.h"
#include "preview/rtf_reader.h"
#include "preview/xhtml.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  const int result = bm::ConvertRtfToText(std::span(data, size), text);
  Check(result >= bm::rtf::kOk && result <= bm::rtf::kEndOfFile);
  // Impossible with a well-formed table and a fresh state.
  Check(result != bm::rtf::kBadTable && result != bm::rtf::kAssertion);
  // Every character comes from at least one input byte.
  Check(text.size() <= size);

  // The same input gives the same text: no state survives a run.
  std::u16string again;
  Check(bm::ConvertRtfToText(std::span(data, size), again) == result && again == text);

  const std::u16string escaped = bm::EscapeXhtml(text);
  Check(escaped.find_first_of(u"<>\"'") == std::u16string::npos);

  // The tokenizer ends in both modes: no token stands for less than a byte of its own.
  for (const bool unicode : {false, true}) {
    bm::rtf::Tokenizer tokens(std::span(data, size), {.unicode = unicode});
    std::size_t count = 0;
    while (tokens.Next().kind != bm::rtf::TokenKind::kEnd) Check(++count <= size);
  }
  (void)bm::RtfToText(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}

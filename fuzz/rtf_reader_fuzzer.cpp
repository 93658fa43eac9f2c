// libFuzzer target: the RTF text reader over arbitrary bytes, and the escaping its text goes
// through on the way into a preview page.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

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
  return 0;
}

// libFuzzer target: the attachment name sanitiser and the naming steps after it. The input is
// a stored name (UTF-16LE) followed, after the first two zero bytes at an even offset, by the
// first bytes of the content. Whatever the name, the file name that reaches the temp folder is
// one path component: no separator, no control character, not "." or "..", not empty, short
// enough for the file system, and joined to the temp folder it stays inside it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

#include "base/paths.h"
#include "base/text.h"
#include "writers/attachments.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckSafeComponent(const std::u16string& name) {
  Check(!name.empty() && name != u"." && name != u"..");
  for (const char16_t c : name) Check(c != u'/' && c != u'\\' && c >= 32 && c != 0x7F);
  Check(bm::ToUtf8(name).size() <= 255);
  const std::u16string temp = u"/tmp/QelTemp/";
  const std::filesystem::path joined = bm::ToPath(bm::JoinPath(temp, name)).lexically_normal();
  Check(joined.parent_path() == std::filesystem::path("/tmp/QelTemp"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string stored;
  std::size_t i = 0;
  for (; i + 1 < size; i += 2) {
    const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (unit == 0) {
      i += 2;
      break;
    }
    stored.push_back(unit);
  }
  const std::span<const std::uint8_t> content(data + std::min(i, size), size - std::min(i, size));

  const std::u16string sanitised = bm::SanitiseAttachmentName(stored);
  for (const char16_t c : sanitised) Check(c != u'/' && c != u'\\' && c >= 32 && c != 0x7F);
  Check(sanitised != u"." && sanitised != u"..");
  Check(bm::SanitiseAttachmentName(sanitised) == sanitised);

  const int position = static_cast<int>(size % 40);
  const std::u16string named = bm::AttachmentName(stored, position);
  Check(named.find(u'.') != std::u16string::npos);
  const std::u16string sniffed = bm::SniffedName(named, content);
  CheckSafeComponent(bm::FinalAttachmentName(sniffed));
  return 0;
}

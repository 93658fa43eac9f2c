#include "base/paths.h"

#include "base/text.h"

namespace bm {

std::u16string JoinPath(std::u16string_view directory, std::u16string_view name) {
  while (!directory.empty() && directory.back() == kSeparator) directory.remove_suffix(1);
  while (!name.empty() && name.front() == kSeparator) name.remove_prefix(1);
  std::u16string joined(directory);
  joined.push_back(kSeparator);
  joined.append(name);
  return joined;
}

std::filesystem::path ToPath(std::u16string_view text) {
  return std::filesystem::path(ToUtf8(text));
}

std::u16string FromPath(const std::filesystem::path& path) {
  return FromUtf8(path.native());
}

std::u16string WithTrailingSeparator(std::u16string_view text) {
  std::u16string out(text);
  if (out.empty() || out.back() != kSeparator) out.push_back(kSeparator);
  return out;
}

}  // namespace bm

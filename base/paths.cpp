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
#ifdef _WIN32
  return std::filesystem::path(std::u16string(text));
#else
  return std::filesystem::path(ToUtf8(text));
#endif
}

std::u16string FromPath(const std::filesystem::path& path) {
#ifdef _WIN32
  return path.u16string();
#else
  return FromUtf8(path.native());
#endif
}

std::u16string WithTrailingSeparator(std::u16string_view text) {
  std::u16string out(text);
  if (out.empty() || out.back() != kSeparator) out.push_back(kSeparator);
  return out;
}

}  // namespace bm

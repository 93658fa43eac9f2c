#include "preview/page_files.h"

#include <cstdio>
#include <memory>
#include <string>

#include "base/text.h"
#include "preview/cp1252.h"

namespace bm {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

bool WriteWholeFile(const std::filesystem::path& path, const void* data, std::size_t size) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  const bool written = size == 0 || std::fwrite(data, 1, size, file.get()) == size;
  return std::fclose(file.release()) == 0 && written;
}

template <typename Unit>
void AppendWithCrLf(std::basic_string<Unit>& out, std::basic_string_view<Unit> text) {
  for (const Unit unit : text) {
    if (unit == Unit('\n')) out.push_back(Unit('\r'));
    out.push_back(unit);
  }
}

}  // namespace

bool WriteBinaryFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  return WriteWholeFile(path, bytes.data(), bytes.size());
}

bool WriteUtf8TextFile(const std::filesystem::path& path, std::u16string_view text) {
  const std::string utf8 = ToUtf8(text);
  std::string out;
  out.reserve(utf8.size());
  AppendWithCrLf<char>(out, utf8);
  return WriteWholeFile(path, out.data(), out.size());
}

bool WriteByteTextFile(const std::filesystem::path& path, std::u16string_view text) {
  text = text.substr(0, text.find(u'\0'));
  std::string bytes;
  bytes.reserve(text.size());
  for (const char16_t ch : text) {
    if (const auto byte = CharToCp1252(ch)) bytes.push_back(static_cast<char>(*byte));
  }
  std::string out;
  out.reserve(bytes.size());
  AppendWithCrLf<char>(out, bytes);
  return WriteWholeFile(path, out.data(), out.size());
}

}  // namespace bm

#include "preview/page_files.h"

#include <unistd.h>

#include <string>

#include "base/safe_files.h"
#include "base/text.h"

namespace bm {

namespace {

Status WriteWholeFile(const std::filesystem::path& path, const void* data, std::size_t size) {
  Result<FileDescriptor> file = RecreateFile(path, kPrivateFileMode);
  if (!file) return file.error();
  Status written = WriteAll(file->get(), std::span(static_cast<const std::uint8_t*>(data), size));
  if (written) written = file->Close();
  if (!written) {
    // A page cut short (a full disk) must not be shown as the page.
    ::unlink(path.c_str());
    return written.error().Within("writing " + path.string());
  }
  return {};
}

template <typename Unit>
void AppendWithCrLf(std::basic_string<Unit>& out, std::basic_string_view<Unit> text) {
  for (const Unit unit : text) {
    if (unit == Unit('\n')) out.push_back(Unit('\r'));
    out.push_back(unit);
  }
}

}  // namespace

Status WriteBinaryFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  return WriteWholeFile(path, bytes.data(), bytes.size());
}

Status WriteUtf8TextFile(const std::filesystem::path& path, std::u16string_view text) {
  const std::string utf8 = ToUtf8(text);
  std::string out;
  out.reserve(utf8.size());
  AppendWithCrLf<char>(out, utf8);
  return WriteWholeFile(path, out.data(), out.size());
}

Status WriteByteTextFile(const std::filesystem::path& path, std::u16string_view text) {
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

Status WriteUtf16TextFile(const std::filesystem::path& path, std::u16string_view text) {
  std::string bytes("\xFF\xFE");
  bytes.reserve(2 + text.size() * 2);
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return WriteWholeFile(path, bytes.data(), bytes.size());
}

}  // namespace bm

#include "base/utf16_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <vector>

#include "base/pending_file.h"
#include "base/safe_files.h"

namespace bm {

bool CUTF16File::Open(const std::filesystem::path& path, unsigned flags) {
  file_.reset();
  utf16_mode_ = false;
  big_endian_ = false;
  position_ = 0;
  const bool create = (flags & modeCreate) != 0;
  const bool read_write = (flags & modeReadWrite) != 0;
  const char* mode = create ? (read_write ? "w+b" : "wb") : (read_write ? "r+b" : "rb");
  if (!create && (flags & modeWrite) != 0) mode = "r+b";
  // A link in the file's place is never read or written through.
  const int access = read_write || (flags & modeWrite) != 0 ? O_RDWR : O_RDONLY;
  const int open_flags = create ? (read_write ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC : access;
  FileDescriptor fd(::open(path.c_str(), open_flags | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!fd.valid()) return false;
  file_.reset(::fdopen(fd.get(), mode));
  if (!file_) return false;
  fd.Release();
  if ((flags & modeWrite) != 0 && !read_write) return true;

  unsigned char mark[2];
  const std::size_t got = std::fread(mark, 1, 2, file_.get());
  position_ += got;
  if (got == 2 && mark[0] == 0xFF && mark[1] == 0xFE) {
    utf16_mode_ = true;
  } else if (got == 2 && mark[0] == 0xFE && mark[1] == 0xFF) {
    utf16_mode_ = true;
    big_endian_ = true;
  } else {
    position_ = 0;
    std::rewind(file_.get());
  }
  return true;
}

bool CUTF16File::WriteString(std::u16string_view text) {
  if (!file_) return false;
  std::vector<unsigned char> bytes;
  bytes.reserve(text.size() * 2 + 2);
  if (std::ftell(file_.get()) == 0) {
    bytes.push_back(0xFF);
    bytes.push_back(0xFE);
  }
  for (char16_t u : text) {
    bytes.push_back(static_cast<unsigned char>(u & 0xFF));
    bytes.push_back(static_cast<unsigned char>(u >> 8));
  }
  return std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) == bytes.size();
}

std::optional<std::u16string> CUTF16File::ReadString() {
  if (!file_) return std::nullopt;
  std::u16string line;
  bool any = false;
  for (;;) {
    char16_t unit = 0;
    if (utf16_mode_) {
      unsigned char b[2];
      if (std::fread(b, 1, 2, file_.get()) != 2) break;
      position_ += 2;
      unit = big_endian_ ? char16_t((b[0] << 8) | b[1]) : char16_t((b[1] << 8) | b[0]);
    } else {
      const int c = std::fgetc(file_.get());
      if (c == EOF) break;
      position_ += 1;
      unit = static_cast<unsigned char>(c);
    }
    any = true;
    if (unit == u'\n') return line;
    if (unit == u'\r') continue;
    line.push_back(unit);
  }
  if (!any) return std::nullopt;
  return line;
}

bool CUTF16File::Close() {
  if (!file_) return true;
  std::FILE* f = file_.release();
  return std::fclose(f) == 0;
}

std::string Utf16LeFileBytes(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  bytes.reserve(text.size() * 2 + 2);
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

bool WriteUtf16File(const std::filesystem::path& path, std::u16string_view text) {
  return WriteFileReplacing(path, Utf16LeFileBytes(text)).ok();
}

}  // namespace bm

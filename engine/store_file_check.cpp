#include "engine/store_file_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

namespace bm {

namespace {

// Header fields (MS-PST): the signature, the format version and the end-of-file offset that
// the header's root structure records, at different places in the ANSI and Unicode layouts.
constexpr std::size_t kVersionOffset = 10;
constexpr std::size_t kAnsiFileEofOffset = 0xA8;
constexpr std::size_t kUnicodeFileEofOffset = 0xB8;
constexpr std::size_t kHeaderBytes = 0xC0;
constexpr std::uint16_t kFirstUnicodeVersion = 23;

class ReadDescriptor {
 public:
  explicit ReadDescriptor(const std::filesystem::path& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
  ~ReadDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadDescriptor(const ReadDescriptor&) = delete;
  ReadDescriptor& operator=(const ReadDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

Error ErrnoError(int error) {
  switch (error) {
    case ENOENT:
      return Error("no such file");
    case ENOTDIR:
      return Error("a part of the path is not a directory");
    case EACCES:
    case EPERM:
      return Error("permission denied");
    default:
      return Error(std::strerror(error));
  }
}

std::uint64_t LittleEndian(const unsigned char* bytes, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = size; i > 0; --i) value = value << 8 | bytes[i - 1];
  return value;
}

std::string SizeText(std::uint64_t bytes) {
  return std::to_string(bytes) + " bytes";
}

}  // namespace

Status CheckStoreFile(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return ErrnoError(errno);
  if (S_ISDIR(info.st_mode)) return Error("it is a directory, not a file");
  if (!S_ISREG(info.st_mode)) return Error("it is not a regular file");
  if (info.st_size == 0) return Error("the file is empty");

  const ReadDescriptor fd(path);
  if (fd.get() < 0) return ErrnoError(errno);
  std::array<unsigned char, kHeaderBytes> header{};
  std::size_t got = 0;
  while (got < header.size()) {
    const ssize_t done = ::read(fd.get(), header.data() + got, header.size() - got);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return ErrnoError(errno);
    if (done == 0) break;
    got += static_cast<std::size_t>(done);
  }
  if (got < 4 || std::memcmp(header.data(), "!BDN", 4) != 0) {
    return Error("it is not a PST file (it does not start with the PST signature)");
  }
  if (got < header.size()) return Error("the file is cut short: its header is incomplete");

  const auto version = static_cast<std::uint16_t>(LittleEndian(&header[kVersionOffset], 2));
  const std::uint64_t file_eof = version >= kFirstUnicodeVersion
                                     ? LittleEndian(&header[kUnicodeFileEofOffset], 8)
                                     : LittleEndian(&header[kAnsiFileEofOffset], 4);
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (size < file_eof) {
    return Error("the file is cut short: it has " + SizeText(size) + " of the " +
                 SizeText(file_eof) + " its header gives");
  }
  return {};
}

}  // namespace bm

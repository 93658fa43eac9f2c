#include "base/file_bytes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace bm {

std::optional<std::string> ReadFileBytes(const std::filesystem::path& path) {
  const Result<FileDescriptor> fd = OpenFileForReading(path);
  struct stat info {};
  if (!fd || ::fstat(fd->get(), &info) != 0) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t filled = 0;
  for (;;) {
    // A file that grew since fstat is read to its end all the same.
    if (filled == bytes.size()) bytes.resize(bytes.size() + 4096);
    const ssize_t done = ::read(fd->get(), bytes.data() + filled, bytes.size() - filled);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return std::nullopt;
    if (done == 0) break;
    filled += static_cast<std::size_t>(done);
  }
  bytes.resize(filled);
  return bytes;
}

}  // namespace bm

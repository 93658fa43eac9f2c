#include "base/safe_files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace bm {

namespace {

// The error for a failed call; errno is left as the call set it, so callers can still tell
// "already there" from the rest.
Error ErrorFor(std::string_view what, const std::filesystem::path& path, int error) {
  Error built(std::string(what) + " " + path.string() + ": " + ErrnoText(error));
  errno = error;
  return built;
}

}  // namespace

std::string ErrnoText(int error) {
  return std::strerror(error);
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.Release();
  }
  return *this;
}

Status FileDescriptor::Close() {
  const int fd = Release();
  if (fd >= 0 && ::close(fd) != 0) return Error("closing a file: " + ErrnoText(errno));
  return {};
}

Result<FileDescriptor> CreateNewFile(const std::filesystem::path& path, mode_t mode) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) return ErrorFor("cannot create", path, errno);
  return FileDescriptor(fd);
}

Result<FileDescriptor> RecreateFile(const std::filesystem::path& path, mode_t mode) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) && ::unlink(path.c_str()) != 0 &&
      errno != ENOENT) {
    return ErrorFor("cannot replace", path, errno);
  }
  return CreateNewFile(path, mode);
}

Status WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t done = ::write(fd, bytes.data(), bytes.size());
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return Error(ErrnoText(errno));
    if (done == 0) return Error(ErrnoText(ENOSPC));
    bytes = bytes.subspan(static_cast<std::size_t>(done));
  }
  return {};
}

Status WriteAll(int fd, std::string_view bytes) {
  return WriteAll(fd, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

Result<Stream> StreamFor(FileDescriptor fd) {
  std::FILE* file = ::fdopen(fd.get(), "wb");
  if (file == nullptr) return Error("cannot open a stream: " + ErrnoText(errno));
  fd.Release();
  return Stream(file);
}

Result<std::filesystem::path> CreateFreshDirectory(const std::filesystem::path& path) {
  // Far more than any destination holds; the bound only keeps a broken disk from looping.
  constexpr int kMaxAttempts = 100000;
  std::filesystem::path candidate = path;
  for (int n = 2; n <= kMaxAttempts; ++n) {
    if (::mkdir(candidate.c_str(), 0777) == 0) return candidate;
    if (errno != EEXIST) return ErrorFor("cannot create the directory", candidate, errno);
    candidate = path;
    candidate += "-" + std::to_string(n);
  }
  return ErrorFor("cannot create the directory", path, EEXIST);
}

Status MoveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
  if (errno != EINVAL && errno != ENOSYS) return ErrorFor("cannot move a file to", to, errno);
  // File systems without the flag: a hard link cannot replace anything either.
  if (::link(from.c_str(), to.c_str()) != 0) return ErrorFor("cannot move a file to", to, errno);
  ::unlink(from.c_str());
  return {};
}

}  // namespace bm

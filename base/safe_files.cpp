#include "base/safe_files.h"

#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace bm {

namespace {

// The error for a failed call; errno is left as the call set it, so callers can still tell
// "already there" from the rest.
Error ErrorFor(std::string_view what, const std::filesystem::path& path, int error) {
  Error built(std::string(what) + " " + path.string() + ": " + ErrnoText(error), error);
  errno = error;
  return built;
}

// The components of `text` between separators, empty ones (from "//" or a trailing "/")
// dropped.
std::vector<std::string_view> Components(std::string_view text) {
  std::vector<std::string_view> parts;
  while (!text.empty()) {
    const std::size_t end = text.find('/');
    const std::string_view part = text.substr(0, end);
    if (!part.empty()) parts.push_back(part);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return parts;
}

// Opens the directory `relative` below `at` as a handle for the *at() calls.
Result<FileDescriptor> OpenDirectoryAt(int at, const std::string& relative,
                                       const std::filesystem::path& shown) {
  const int fd = ::openat(at, relative.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return ErrorFor("cannot open the folder", shown, errno);
  return FileDescriptor(fd);
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
  if (fd >= 0 && ::close(fd) != 0) {
    const int error = errno;
    return Error("closing a file: " + ErrnoText(error), error);
  }
  return {};
}

Result<PathAt> PathAt::Resolve(const std::filesystem::path& path) {
  const std::string& text = path.native();
  if (text.size() < PATH_MAX) return PathAt(FileDescriptor(), text);
  // Too long for one call: the directories are opened in pieces that each fit, every piece
  // relative to the directory the one before it opened.
  const std::vector<std::string_view> parts = Components(text);
  if (parts.empty()) return ErrorFor("cannot use the path", path, ENOENT);
  FileDescriptor directory;
  std::string piece = text.front() == '/' ? "/" : "";
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    const std::size_t joined = piece.size() + 1 + parts[i].size();
    if (!piece.empty() && piece != "/" && joined >= PATH_MAX) {
      Result<FileDescriptor> opened =
          OpenDirectoryAt(directory.valid() ? directory.get() : AT_FDCWD, piece, path);
      if (!opened) return opened.error();
      directory = std::move(*opened);
      piece.clear();
    }
    if (!piece.empty() && piece != "/") piece += '/';
    piece += parts[i];
  }
  if (!piece.empty()) {
    Result<FileDescriptor> opened =
        OpenDirectoryAt(directory.valid() ? directory.get() : AT_FDCWD, piece, path);
    if (!opened) return opened.error();
    directory = std::move(*opened);
  }
  return PathAt(std::move(directory), std::string(parts.back()));
}

Result<FileDescriptor> OpenDirectory(const std::filesystem::path& path) {
  Result<PathAt> at = PathAt::Resolve(path);
  if (!at) return at.error();
  return OpenDirectoryAt(at->directory(), at->name(), path);
}

Result<FileDescriptor> CreateNewFile(const std::filesystem::path& path, mode_t mode) {
  Result<PathAt> at = PathAt::Resolve(path);
  if (!at) return at.error();
  const int fd = ::openat(at->directory(), at->name(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) return ErrorFor("cannot create", path, errno);
  return FileDescriptor(fd);
}

Result<FileDescriptor> RecreateFile(const std::filesystem::path& path, mode_t mode) {
  Result<PathAt> at = PathAt::Resolve(path);
  if (!at) return at.error();
  constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  // Most working names are new in a fresh temp folder: create first, and look at what stands
  // in the way only when something does (a folder load writes one such file per item).
  int fd = ::openat(at->directory(), at->name(), kCreateFlags, mode);
  if (fd < 0 && errno == EEXIST) {
    struct stat info {};
    if (::fstatat(at->directory(), at->name(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISDIR(info.st_mode) && ::unlinkat(at->directory(), at->name(), 0) != 0 &&
        errno != ENOENT) {
      return ErrorFor("cannot replace", path, errno);
    }
    fd = ::openat(at->directory(), at->name(), kCreateFlags, mode);
  }
  if (fd < 0) return ErrorFor("cannot create", path, errno);
  return FileDescriptor(fd);
}

Result<FileDescriptor> OpenFileForReading(const std::filesystem::path& path) {
  Result<PathAt> at = PathAt::Resolve(path);
  if (!at) return at.error();
  // Non-blocking, so a FIFO in the place of a file cannot stall the open before fstat says so.
  FileDescriptor fd(
      ::openat(at->directory(), at->name(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
  if (!fd.valid()) return ErrorFor("cannot open", path, errno);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return ErrorFor("cannot open", path, errno);
  if (!S_ISREG(info.st_mode)) return ErrorFor("not a regular file:", path, EINVAL);
  return fd;
}

Result<bool> PathExists(const std::filesystem::path& path) {
  Result<PathAt> at = PathAt::Resolve(path);
  if (!at) {
    // A folder on the way that is not there holds nothing.
    if (at.error().system_error() == ENOENT) return false;
    return at.error();
  }
  struct stat info {};
  if (::fstatat(at->directory(), at->name(), &info, AT_SYMLINK_NOFOLLOW) == 0) return true;
  if (errno == ENOENT) return false;
  return ErrorFor("cannot look at", path, errno);
}

Status RemoveFile(const std::filesystem::path& path) {
  Result<PathAt> at = PathAt::Resolve(path);
  if (!at) return at.error();
  if (::unlinkat(at->directory(), at->name(), 0) != 0 && errno != ENOENT) {
    return ErrorFor("cannot remove", path, errno);
  }
  return {};
}

Status WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t done = ::write(fd, bytes.data(), bytes.size());
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) {
      const int error = errno;
      return Error(ErrnoText(error), error);
    }
    if (done == 0) {
      errno = ENOSPC;
      return Error(ErrnoText(ENOSPC), ENOSPC);
    }
    bytes = bytes.subspan(static_cast<std::size_t>(done));
  }
  return {};
}

Status WriteAll(int fd, std::string_view bytes) {
  return WriteAll(fd, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

Result<Stream> StreamFor(FileDescriptor fd) {
  std::FILE* file = ::fdopen(fd.get(), "wb");
  if (file == nullptr) {
    const int error = errno;
    return Error("cannot open a stream: " + ErrnoText(error), error);
  }
  fd.Release();
  return Stream(file);
}

Result<std::filesystem::path> CreateFreshDirectory(const std::filesystem::path& path) {
  // Far more than any destination holds; the bound only keeps a broken disk from looping.
  constexpr int kMaxAttempts = 100000;
  Result<PathAt> at = PathAt::Resolve(path);
  if (!at) return at.error();
  std::string name = at->name();
  std::filesystem::path candidate = path;
  for (int n = 2; n <= kMaxAttempts; ++n) {
    if (::mkdirat(at->directory(), name.c_str(), 0777) == 0) return candidate;
    if (errno != EEXIST) return ErrorFor("cannot create the directory", candidate, errno);
    const std::string suffix = "-" + std::to_string(n);
    name = std::string(at->name()) + suffix;
    candidate = path;
    candidate += suffix;
  }
  return ErrorFor("cannot create the directory", path, EEXIST);
}

int MoveWithoutReplacingAt(int from_directory, const char* from, int to_directory, const char* to) {
  if (::renameat2(from_directory, from, to_directory, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // File systems without the flag: a hard link cannot replace anything either.
  if (::linkat(from_directory, from, to_directory, to, 0) != 0) return errno;
  ::unlinkat(from_directory, from, 0);
  return 0;
}

Status MoveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  Result<PathAt> source = PathAt::Resolve(from);
  if (!source) return source.error();
  Result<PathAt> target = PathAt::Resolve(to);
  if (!target) return target.error();
  const int error = MoveWithoutReplacingAt(source->directory(), source->name(), target->directory(),
                                           target->name());
  if (error != 0) return ErrorFor("cannot move a file to", to, error);
  return {};
}

}  // namespace bm

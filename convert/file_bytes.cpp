#include "convert/file_bytes.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace bm {

namespace {

HResult ResultOfErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return STG_E_PATHNOTFOUND;
    case EACCES:
    case EPERM:
    case EROFS:
      return STG_E_ACCESSDENIED;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return STG_E_MEDIUMFULL;
    case EEXIST:
      return STG_E_FILEALREADYEXISTS;
    default:
      return STG_E_WRITEFAULT;
  }
}

// A file descriptor closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now; false when the kernel reports that buffered data was lost.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

// A temporary file beside the target, removed again unless it was moved into place.
class TempFile {
 public:
  // Creates it in `directory`; errno tells why when the result is not valid().
  TempFile(const std::filesystem::path& directory, mode_t mode) {
    thread_local std::minstd_rand random(std::random_device{}());
    for (int attempt = 0; attempt < 100 && !fd_.valid(); ++attempt) {
      path_ = directory / (".bm" + std::to_string(random() % 1000000000) + ".tmp");
      fd_.Reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
      if (!fd_.valid() && errno != EEXIST) break;
    }
    owned_ = fd_.valid();
  }
  ~TempFile() {
    // Only a file this object made is removed: a name tried and found taken is not ours.
    if (owned_) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool valid() const { return fd_.valid(); }

  // 0 or the errno of the failing write.
  int Write(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t done = ::write(fd_.get(), bytes.data(), bytes.size());
      if (done < 0 && errno == EINTR) continue;
      if (done <= 0) return done < 0 ? errno : ENOSPC;
      bytes.remove_prefix(static_cast<std::size_t>(done));
    }
    return fd_.Close() ? 0 : errno;
  }

  // 0 or the errno of the failing move.
  int MoveTo(const std::filesystem::path& target, ExistingFile existing) {
    int result = 0;
    if (existing == ExistingFile::kReplace) {
      result = ::rename(path_.c_str(), target.c_str());
    } else {
      // Checking first and renaming after would let a file that appears in between be lost.
      result = ::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
      if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // File systems without the flag: a hard link is just as unable to replace.
        result = ::link(path_.c_str(), target.c_str());
        if (result == 0) ::unlink(path_.c_str());
      }
    }
    if (result != 0) return errno;
    owned_ = false;
    return 0;
  }

 private:
  std::filesystem::path path_;
  Descriptor fd_{-1};
  bool owned_ = false;
};

}  // namespace

std::optional<std::string> ReadFileBytes(const std::filesystem::path& path) {
  // Non-blocking, so a FIFO in the place of a file cannot stall the read before fstat says so.
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat info {};
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t filled = 0;
  for (;;) {
    // A file that grew since fstat is read to its end all the same.
    if (filled == bytes.size()) bytes.resize(bytes.size() + 4096);
    const ssize_t done = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return std::nullopt;
    if (done == 0) break;
    filled += static_cast<std::size_t>(done);
  }
  bytes.resize(filled);
  return bytes;
}

HResult WriteFileBytes(const std::filesystem::path& path, std::string_view bytes,
                       ExistingFile existing, mode_t mode) {
  if (path.empty() || !path.has_filename()) return STG_E_PATHNOTFOUND;
  TempFile temp(path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path(), mode);
  if (!temp.valid()) return ResultOfErrno(errno);
  if (const int error = temp.Write(bytes); error != 0) return ResultOfErrno(error);
  if (const int error = temp.MoveTo(path, existing); error != 0) return ResultOfErrno(error);
  return S_OK;
}

}  // namespace bm

#include "base/pending_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <string>

namespace bm {

namespace {

constexpr int kNameAttempts = 100;

Error ErrnoError(std::string_view what, int error) {
  return Error(std::string(what) + ": " + std::strerror(error));
}

std::string TemporaryName(std::minstd_rand& random) {
  std::string name(PendingFile::kTemporaryPrefix);
  name += std::to_string(random() % 1000000000);
  name += PendingFile::kTemporarySuffix;
  return name;
}

}  // namespace

Result<PendingFile> PendingFile::Create(const std::filesystem::path& directory) {
  thread_local std::minstd_rand random(std::random_device{}());
  int last_error = EEXIST;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::filesystem::path path = directory / TemporaryName(random);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return PendingFile(std::move(path), fd);
    last_error = errno;
    if (last_error != EEXIST) break;
  }
  return ErrnoError("the file cannot be created", last_error);
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(other.fd_), placed_(other.placed_) {
  other.fd_ = -1;
  other.placed_ = true;  // the moved-from object owns nothing to remove
}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
  if (this != &other) {
    Discard();
    path_ = std::move(other.path_);
    fd_ = other.fd_;
    placed_ = other.placed_;
    other.fd_ = -1;
    other.placed_ = true;
  }
  return *this;
}

PendingFile::~PendingFile() {
  Discard();
}

void PendingFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!placed_ && !path_.empty()) ::unlink(path_.c_str());
  placed_ = true;
}

Status PendingFile::Write(std::string_view bytes) {
  if (fd_ < 0) return Error("the file is not open for writing");
  while (!bytes.empty()) {
    const ssize_t done = ::write(fd_, bytes.data(), bytes.size());
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return ErrnoError("the file cannot be written", done < 0 ? errno : ENOSPC);
    bytes.remove_prefix(static_cast<std::size_t>(done));
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return ErrnoError("the file cannot be written", errno);
  return {};
}

Result<bool> PendingFile::PlaceAs(const std::filesystem::path& target) {
  if (placed_ || fd_ >= 0) return Error("the file is not ready to be moved into place");
  // Checking first and renaming after would let a file that appears in between be lost.
  int result = ::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
  if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
    // File systems without the flag: a hard link is just as unable to replace.
    result = ::link(path_.c_str(), target.c_str());
    if (result == 0) ::unlink(path_.c_str());
  }
  if (result != 0) {
    if (errno == EEXIST) return false;
    return ErrnoError("the file cannot be moved into place", errno);
  }
  placed_ = true;
  return true;
}

Status PendingFile::ReplaceAs(const std::filesystem::path& target) {
  if (placed_ || fd_ >= 0) return Error("the file is not ready to be moved into place");
  if (::rename(path_.c_str(), target.c_str()) != 0) {
    return ErrnoError("the file cannot be moved into place", errno);
  }
  placed_ = true;
  return {};
}

bool IsPendingFileName(std::string_view name) {
  return name.starts_with(PendingFile::kTemporaryPrefix) &&
         name.ends_with(PendingFile::kTemporarySuffix);
}

Status WriteFileReplacing(const std::filesystem::path& target, std::string_view bytes) {
  const std::filesystem::path directory =
      target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
  Result<PendingFile> file = PendingFile::Create(directory);
  if (!file) return file.error();
  if (Status written = file->Write(bytes); !written) return written;
  return file->ReplaceAs(target);
}

}  // namespace bm

#include "base/pending_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <random>
#include <string>
#include <utility>

namespace bm {

namespace {

constexpr int kNameAttempts = 100;

Error ErrnoError(std::string_view what, int error) {
  errno = error;
  return Error(std::string(what) + ": " + ErrnoText(error), error);
}

std::string TemporaryName(std::minstd_rand& random) {
  std::string name(PendingFile::kTemporaryPrefix);
  name += std::to_string(random() % 1000000000);
  name += PendingFile::kTemporarySuffix;
  return name;
}

// The folder a target file goes into: "." for a bare name.
std::filesystem::path FolderOf(const std::filesystem::path& target) {
  return target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
}

}  // namespace

Result<PendingFile> PendingFile::Create(const std::filesystem::path& directory, mode_t mode) {
  Result<FileDescriptor> handle = OpenDirectory(directory);
  if (!handle) {
    return ErrnoError("the file cannot be created", handle.error().system_error());
  }
  thread_local std::minstd_rand random(std::random_device{}());
  int last_error = EEXIST;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string name = TemporaryName(random);
    const int fd = ::openat(handle->get(), name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0) {
      return PendingFile(directory, std::move(*handle), std::move(name), FileDescriptor(fd));
    }
    last_error = errno;
    if (last_error != EEXIST) break;
  }
  return ErrnoError("the file cannot be created", last_error);
}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
  if (this != &other) {
    Discard();
    directory_ = std::move(other.directory_);
    directory_handle_ = std::move(other.directory_handle_);
    name_ = std::exchange(other.name_, std::string());
    fd_ = std::move(other.fd_);
    written_ = other.written_;
  }
  return *this;
}

PendingFile::~PendingFile() {
  Discard();
}

void PendingFile::Discard() {
  // Cleaning up after a failure must not change the errno that failure left.
  const int saved = errno;
  fd_ = FileDescriptor();
  if (!name_.empty() && directory_handle_.valid()) {
    ::unlinkat(directory_handle_.get(), name_.c_str(), 0);
  }
  name_.clear();
  errno = saved;
}

Status PendingFile::Write(std::string_view bytes) {
  if (!fd_.valid()) return Error("the file is not open for writing");
  if (Status written = WriteAll(fd_.get(), bytes); !written) {
    return ErrnoError("the file cannot be written", written.error().system_error());
  }
  if (Status closed = fd_.Close(); !closed) {
    return ErrnoError("the file cannot be written", closed.error().system_error());
  }
  written_ = true;
  return {};
}

Status PendingFile::ReadyToPlace() const {
  if (name_.empty() || !written_) return Error("the file is not ready to be moved into place");
  return {};
}

int PendingFile::MoveTo(const std::filesystem::path& target, bool replace) {
  // The usual target lies in the temporary file's own folder: no need to walk to it again.
  int to_directory = directory_handle_.get();
  std::string to_name = target.filename().string();
  std::optional<PathAt> at;
  if (FolderOf(target) != directory_ || !target.has_filename()) {
    Result<PathAt> resolved = PathAt::Resolve(target);
    if (!resolved) return resolved.error().system_error();
    at.emplace(std::move(*resolved));
    to_directory = at->directory();
    to_name = at->name();
  }
  if (replace) {
    const int moved =
        ::renameat(directory_handle_.get(), name_.c_str(), to_directory, to_name.c_str());
    return moved == 0 ? 0 : errno;
  }
  // Checking first and renaming after would let a file that appears in between be lost.
  return MoveWithoutReplacingAt(directory_handle_.get(), name_.c_str(), to_directory,
                                to_name.c_str());
}

Result<bool> PendingFile::PlaceAs(const std::filesystem::path& target) {
  if (Status ready = ReadyToPlace(); !ready) return ready.error();
  if (const int error = MoveTo(target, false); error != 0) {
    if (error == EEXIST) return false;
    return ErrnoError("the file cannot be moved into place", error);
  }
  name_.clear();
  return true;
}

Result<std::filesystem::path> PendingFile::PlaceAsFirstFree(
    const std::function<std::filesystem::path(int attempt)>& name_for_attempt, int attempts) {
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    std::filesystem::path target = name_for_attempt(attempt);
    const Result<bool> placed = PlaceAs(target);
    if (!placed) return placed.error();
    if (*placed) return target;
  }
  return ErrnoError("no free name for the file", EEXIST);
}

Status PendingFile::ReplaceAs(const std::filesystem::path& target) {
  if (Status ready = ReadyToPlace(); !ready) return ready;
  if (const int error = MoveTo(target, true); error != 0) {
    return ErrnoError("the file cannot be moved into place", error);
  }
  name_.clear();
  return {};
}

bool IsPendingFileName(std::string_view name) {
  return name.starts_with(PendingFile::kTemporaryPrefix) &&
         name.ends_with(PendingFile::kTemporarySuffix);
}

Status WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                           ExistingFile existing, mode_t mode) {
  if (!target.has_filename()) {
    return ErrnoError("cannot write " + target.string(), EISDIR);
  }
  Result<PendingFile> file = PendingFile::Create(FolderOf(target), mode);
  if (!file) return file.error();
  if (Status written = file->Write(bytes); !written) return written;
  if (existing == ExistingFile::kReplace) return file->ReplaceAs(target);
  const Result<bool> placed = file->PlaceAs(target);
  if (!placed) return placed.error();
  if (!*placed) return ErrnoError("cannot write " + target.string(), EEXIST);
  return {};
}

Status WriteFileReplacing(const std::filesystem::path& target, std::string_view bytes) {
  return WriteFileAtomically(target, bytes, ExistingFile::kReplace);
}

Result<FileDescriptor> PendingFile::DuplicateDescriptor() const {
  FileDescriptor copy(::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0));
  if (!copy.valid()) return Error("the file cannot be opened again: " + ErrnoText(errno), errno);
  return copy;
}

}  // namespace bm

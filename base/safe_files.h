// The file layer every writer goes through: new files are made with O_EXCL and O_NOFOLLOW, so
// a link planted where a file is to be written is never followed and no file the run did not
// make is ever written into; the permissions say who may read what the run wrote.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/result.h"

namespace bm {

// Working files: only the user who runs the program may read them.
inline constexpr mode_t kPrivateFileMode = 0600;
inline constexpr mode_t kPrivateDirectoryMode = 0700;
// Output files: what the user's umask allows, as for any file the user makes.
inline constexpr mode_t kOutputFileMode = 0666;

// The words for an errno value ("No space left on device").
std::string ErrnoText(int error);

// An open file descriptor, closed when it goes out of scope.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor();
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now; the error when the kernel reports that written data was lost.
  Status Close();

 private:
  int fd_ = -1;
};

// Creates `path` as a new file for writing; fails when anything (a file, a link, a directory)
// is already there. On failure errno still holds the cause (EEXIST: the name is taken).
Result<FileDescriptor> CreateNewFile(const std::filesystem::path& path, mode_t mode);

// Creates `path` afresh for writing: a file or link already there is removed first (the link
// itself, never what it points to), then the file is made as by CreateNewFile. For working
// files whose names repeat from item to item.
Result<FileDescriptor> RecreateFile(const std::filesystem::path& path, mode_t mode);

// Writes every byte; the error (with its cause) when the disk did not take them all.
Status WriteAll(int fd, std::span<const std::uint8_t> bytes);
Status WriteAll(int fd, std::string_view bytes);

// A stdio stream over a descriptor (which it then owns); closed when it goes out of scope.
struct StreamCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using Stream = std::unique_ptr<std::FILE, StreamCloser>;
Result<Stream> StreamFor(FileDescriptor fd);

// `path` when nothing stands there, else `path` with "-2", "-3", ... appended: the first name
// that mkdir makes anew (mode 0777 less the umask). Two runs never get the same directory.
Result<std::filesystem::path> CreateFreshDirectory(const std::filesystem::path& path);

// Moves `from` to `to` without ever replacing what stands at `to`.
Status MoveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace bm

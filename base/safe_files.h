// The file layer every reader and writer goes through: new files are made with O_EXCL and
// O_NOFOLLOW, so a link planted where a file is to be written is never followed and no file
// the run did not make is ever written into; reads never follow a link in the file's place;
// moves never replace; the permissions say who may read what the run wrote. Paths of any
// length work: a path longer than the kernel takes in one call is opened a directory at a
// time, so a deep folder tree costs a few more calls, not a failure.
//
// On failure every function returns an Error whose system_error() is the errno of the failed
// call, and leaves errno set to it as well.
#pragma once

#include <fcntl.h>
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

// An open file descriptor, closed when it goes out of scope. The one owner of descriptors in
// the file layer.
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

// A path as the *at() system calls take it: a directory (AT_FDCWD, or a descriptor this object
// owns) and a name relative to it that is short enough for one call. A path the kernel takes
// whole stays whole (relative to AT_FDCWD); a longer one is walked a piece at a time up to its
// last component, following links in the directories on the way as the kernel would.
class PathAt {
 public:
  static Result<PathAt> Resolve(const std::filesystem::path& path);

  int directory() const { return directory_.valid() ? directory_.get() : AT_FDCWD; }
  const char* name() const { return name_.c_str(); }

 private:
  PathAt(FileDescriptor directory, std::string name)
      : directory_(std::move(directory)), name_(std::move(name)) {}

  FileDescriptor directory_;
  std::string name_;
};

// Opens `path` as a directory handle (O_PATH) for the *at() calls; links in the path are
// followed, as they are for any directory the user names.
Result<FileDescriptor> OpenDirectory(const std::filesystem::path& path);

// Creates `path` as a new file for writing; fails when anything (a file, a link, a directory)
// is already there (system_error() EEXIST: the name is taken).
Result<FileDescriptor> CreateNewFile(const std::filesystem::path& path, mode_t mode);

// Creates `path` afresh for writing: a file or link already there is removed first (the link
// itself, never what it points to), then the file is made as by CreateNewFile. For working
// files whose names repeat from item to item.
Result<FileDescriptor> RecreateFile(const std::filesystem::path& path, mode_t mode);

// Opens the regular file `path` for reading. A link in its place is not followed, and a FIFO
// or device is refused without waiting on it.
Result<FileDescriptor> OpenFileForReading(const std::filesystem::path& path);

// Whether anything (a file, a directory, a link, even a dangling one) stands at `path`; the
// error when that cannot be told (a name longer than the file system takes, no permission).
Result<bool> PathExists(const std::filesystem::path& path);

// Removes the file or link `path` (never a directory); a name already gone is no error.
Status RemoveFile(const std::filesystem::path& path);

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
// that mkdir makes anew (mode 0777 less the umask). Two runs never get the same directory, and
// two same-named folders never share one.
Result<std::filesystem::path> CreateFreshDirectory(const std::filesystem::path& path);

// Moves `from` to `to` without ever replacing what stands at `to` (system_error() EEXIST when
// something does).
Status MoveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// The same between names relative to directory handles: renameat2 with RENAME_NOREPLACE, or
// where the file system lacks it a hard link and an unlink, which cannot replace either.
// 0 or the errno of the failed call.
int MoveWithoutReplacingAt(int from_directory, const char* from, int to_directory, const char* to);

}  // namespace bm

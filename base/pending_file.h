// PendingFile: a file written under a short temporary name in its target folder and moved to
// its final name only once it is whole, so a file under its final name is never cut short
// (not by a full disk, not by a signal that ends the run). The temporary file is removed
// unless it was moved into place. This is the file layer's one atomic write: every whole-file
// write goes through it. Nothing is synced to disk before the move (a run's output is checked
// by its report, not by surviving a power cut), so writing stays as fast as the disk caches.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "base/safe_files.h"

namespace bm {

// What a whole-file write does when its target is already there.
enum class ExistingFile {
  kReplace,  // the new bytes take its place
  kKeep,     // it stays, and the write fails (system_error() EEXIST)
};

class PendingFile {
 public:
  // Temporary names start with this and end with kTemporarySuffix.
  static constexpr std::string_view kTemporaryPrefix = ".bm";
  static constexpr std::string_view kTemporarySuffix = ".tmp";

  // Creates the temporary file in `directory` (a folder of any depth), with `mode` less the
  // umask as its permissions.
  static Result<PendingFile> Create(const std::filesystem::path& directory,
                                    mode_t mode = kOutputFileMode);

  PendingFile(PendingFile&& other) noexcept = default;
  PendingFile& operator=(PendingFile&& other) noexcept;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile();

  // Writes all of `bytes` and closes the file; an error says why not (the disk is full, ...).
  Status Write(std::string_view bytes);

  // Moves the written file to `target`, never replacing anything there: false when `target`
  // already exists (the file stays pending, so another name can be tried).
  Result<bool> PlaceAs(const std::filesystem::path& target);

  // Moves the written file to the first of name_for_attempt(1), name_for_attempt(2), ... up
  // to `attempts` that is free, never replacing anything. Any failure other than a name taken
  // (a name too long, a missing folder) ends the search at once with its cause.
  Result<std::filesystem::path> PlaceAsFirstFree(
      const std::function<std::filesystem::path(int attempt)>& name_for_attempt, int attempts);

  // Moves the written file to `target`, replacing what is there.
  Status ReplaceAs(const std::filesystem::path& target);

  std::filesystem::path path() const { return directory_ / name_; }

  // A second descriptor of the temporary file, for writers that take a file of their own (a
  // compound-file library): the file is reached however deep its folder lies. Write({}) still
  // closes this object's own descriptor afterwards.
  Result<FileDescriptor> DuplicateDescriptor() const;

 private:
  PendingFile(std::filesystem::path directory, FileDescriptor directory_handle, std::string name,
              FileDescriptor fd)
      : directory_(std::move(directory)),
        directory_handle_(std::move(directory_handle)),
        name_(std::move(name)),
        fd_(std::move(fd)) {}
  void Discard();
  Status ReadyToPlace() const;
  // 0 or the errno of the failed move; `replace` says whether what stands at `target` goes.
  int MoveTo(const std::filesystem::path& target, bool replace);

  std::filesystem::path directory_;
  FileDescriptor directory_handle_;  // the temporary file's folder, however deep
  std::string name_;                 // empty once placed or discarded: nothing left to remove
  FileDescriptor fd_;
  bool written_ = false;
};

// Whether `name` is one PendingFile gives its temporary files.
bool IsPendingFileName(std::string_view name);

// Writes `bytes` as the file `target` through a PendingFile: the one whole-file write.
// `mode` is the new file's permissions (less the umask): kPrivateFileMode for the run's
// working files, kOutputFileMode for what the user keeps.
Status WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                           ExistingFile existing, mode_t mode = kOutputFileMode);

// Writes `bytes` as the file `target` through a PendingFile, replacing what is there.
Status WriteFileReplacing(const std::filesystem::path& target, std::string_view bytes);

}  // namespace bm

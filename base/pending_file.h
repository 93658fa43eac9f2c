// PendingFile: a file written under a short temporary name in its target folder and moved to
// its final name only once it is whole, so a file under its final name is never cut short
// (not by a full disk, not by a signal that ends the run). The temporary file is removed
// unless it was moved into place.
#pragma once

#include <filesystem>
#include <string_view>

#include "base/result.h"

namespace bm {

class PendingFile {
 public:
  // Temporary names start with this and end with kTemporarySuffix.
  static constexpr std::string_view kTemporaryPrefix = ".bm";
  static constexpr std::string_view kTemporarySuffix = ".tmp";

  // Creates the temporary file in `directory`.
  static Result<PendingFile> Create(const std::filesystem::path& directory);

  PendingFile(PendingFile&& other) noexcept;
  PendingFile& operator=(PendingFile&& other) noexcept;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile();

  // Writes all of `bytes` and closes the file; an error says why not (the disk is full, ...).
  Status Write(std::string_view bytes);

  // Moves the written file to `target`, never replacing anything there: false when `target`
  // already exists (the file stays pending, so another name can be tried).
  Result<bool> PlaceAs(const std::filesystem::path& target);

  // Moves the written file to `target`, replacing what is there.
  Status ReplaceAs(const std::filesystem::path& target);

  const std::filesystem::path& path() const { return path_; }

 private:
  PendingFile(std::filesystem::path path, int fd) : path_(std::move(path)), fd_(fd) {}
  void Discard();

  std::filesystem::path path_;
  int fd_ = -1;
  bool placed_ = false;
};

// Whether `name` is one PendingFile gives its temporary files.
bool IsPendingFileName(std::string_view name);

// Writes `bytes` as the file `target` through a PendingFile, replacing what is there.
Status WriteFileReplacing(const std::filesystem::path& target, std::string_view bytes);

}  // namespace bm

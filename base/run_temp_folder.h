// The run's private temp folder: made with mkdtemp (mode 0700, name "QelTemp" and six random
// characters) inside a directory the user trusts, used by this run alone and removed with
// everything in it when the run ends. Files named for keeping (the log) are moved out into
// the containing directory first, never replacing a file there.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/result.h"

namespace bm {

class RunTempFolder {
 public:
  // Where the temp folder goes when the user names no directory: $XDG_RUNTIME_DIR, else
  // $TMPDIR, else /tmp (the first that is set and is a directory).
  static std::filesystem::path DefaultParent();

  // Makes the folder inside `parent` (DefaultParent() when empty). A missing `parent` is made
  // (mode 0700). Fails with the reason when `parent` is not a directory, cannot take the
  // folder, or could let another user replace what the run writes (a directory others may
  // write to that lacks the sticky bit, or one that belongs to another user).
  static Result<std::unique_ptr<RunTempFolder>> Create(const std::filesystem::path& parent);

  ~RunTempFolder();
  RunTempFolder(const RunTempFolder&) = delete;
  RunTempFolder& operator=(const RunTempFolder&) = delete;

  // The folder (absolute) and the directory that holds it.
  const std::filesystem::path& path() const { return path_; }
  const std::filesystem::path& parent() const { return parent_; }

  // Moves the file `name` of the folder into parent() when the folder is removed: under the
  // same name, or "<stem> (2)<ext>", ... when that is taken.
  void KeepOnRemoval(std::filesystem::path name);

  // Leaves the whole folder in place when the object goes: for a run whose result is in it
  // (the preview pages the command line prints).
  void KeepWhole() { keep_whole_ = true; }

 private:
  RunTempFolder(std::filesystem::path parent, std::filesystem::path path)
      : parent_(std::move(parent)), path_(std::move(path)) {}

  std::filesystem::path parent_;
  std::filesystem::path path_;
  std::vector<std::filesystem::path> keep_;
  bool keep_whole_ = false;
};

}  // namespace bm

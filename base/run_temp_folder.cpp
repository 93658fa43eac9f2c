#include "base/run_temp_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "base/safe_files.h"

namespace bm {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFolderTemplate = "QelTempXXXXXX";

bool IsDirectory(const char* path) {
  struct stat info {};
  return path != nullptr && *path != '\0' && ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// A directory in which no other user can remove or rename what this run puts there.
Status CheckTrusted(const fs::path& directory) {
  struct stat info {};
  if (::stat(directory.c_str(), &info) != 0) {
    return Error("the temp directory " + directory.string() +
                 " cannot be used: " + ErrnoText(errno));
  }
  if (!S_ISDIR(info.st_mode)) {
    return Error("the temp directory " + directory.string() + " is not a directory");
  }
  const bool others_may_write = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  if (others_may_write && (info.st_mode & S_ISVTX) == 0) {
    return Error("the temp directory " + directory.string() +
                 " may be changed by other users (writable without the sticky bit)");
  }
  if (info.st_uid != ::geteuid() && info.st_uid != 0) {
    return Error("the temp directory " + directory.string() + " belongs to another user");
  }
  return {};
}

// `name` in `directory`, or "<stem> (2)<ext>", ... : the first name not yet taken.
fs::path FreeName(const fs::path& directory, const fs::path& name, int attempt) {
  if (attempt == 1) return directory / name;
  return directory /
         (name.stem().string() + " (" + std::to_string(attempt) + ")" + name.extension().string());
}

}  // namespace

fs::path RunTempFolder::DefaultParent() {
  for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    const char* value = std::getenv(variable);
    if (IsDirectory(value)) return fs::path(value);
  }
  return fs::path("/tmp");
}

Result<std::unique_ptr<RunTempFolder>> RunTempFolder::Create(const fs::path& parent) {
  std::error_code ec;
  fs::path directory = parent.empty() ? DefaultParent() : fs::absolute(parent, ec);
  if (ec)
    return Error("the temp directory " + parent.string() + " cannot be used: " + ec.message());
  if (!fs::exists(directory, ec)) {
    fs::create_directories(directory, ec);
    if (!ec) fs::permissions(directory, fs::perms::owner_all, ec);
    if (ec) {
      return Error("the temp directory " + directory.string() +
                   " cannot be created: " + ec.message());
    }
  }
  if (Status trusted = CheckTrusted(directory); !trusted) return trusted.error();

  std::string made = (directory / kFolderTemplate).string();
  if (::mkdtemp(made.data()) == nullptr) {
    return Error("no temp folder can be made in " + directory.string() + ": " + ErrnoText(errno));
  }
  return std::unique_ptr<RunTempFolder>(new RunTempFolder(directory, fs::path(made)));
}

void RunTempFolder::KeepOnRemoval(fs::path name) {
  keep_.push_back(std::move(name));
}

RunTempFolder::~RunTempFolder() {
  if (keep_whole_) return;
  // Far more than one directory ever holds of one name; the bound keeps a broken disk from
  // looping.
  constexpr int kMaxAttempts = 1000;
  for (const fs::path& name : keep_) {
    const fs::path from = path_ / name;
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(from, ec))) continue;
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
      const fs::path to = FreeName(parent_, name, attempt);
      if (MoveWithoutReplacing(from, to)) break;
      if (errno != EEXIST) break;
    }
  }
  // remove_all removes links themselves, never what they point to.
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

}  // namespace bm

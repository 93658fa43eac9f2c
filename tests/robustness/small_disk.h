// A small disk for the cases that need a full or read-only file system: a tmpfs mounted on a
// directory for the life of the object. Mounting needs root; the cases skip, saying so, where
// it is not allowed.
#pragma once

#include <sys/mount.h>

#include <filesystem>
#include <string>

namespace bm::robust {

// A tmpfs of `size` mounted on a directory for the life of the object.
class SmallDisk {
 public:
  SmallDisk(const std::filesystem::path& directory, const std::string& size)
      : directory_(directory) {
    mounted_ = ::mount("tmpfs", directory.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(directory_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool mounted() const { return mounted_; }
  bool MakeReadOnly() const {
    return ::mount("tmpfs", directory_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  std::filesystem::path directory_;
  bool mounted_ = false;
};

}  // namespace bm::robust

#define BM_MOUNT_OR_SKIP(disk)                                                          \
  if (!(disk).mounted()) {                                                              \
    GTEST_SKIP() << "cannot mount a tmpfs here (needs root and mount permission); the " \
                    "full-disk cases are not run";                                      \
  }

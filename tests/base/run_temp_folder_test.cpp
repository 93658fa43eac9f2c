// The run's private temp folder and the file layer under it: nothing the run writes is
// reachable by another user, a planted link is never followed, and nothing the run did not
// make is removed or replaced.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/run_temp_folder.h"
#include "base/safe_files.h"
#include "support/test_support.h"

namespace bm {
namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

std::unique_ptr<RunTempFolder> MakeIn(const fs::path& parent) {
  Result<std::unique_ptr<RunTempFolder>> made = RunTempFolder::Create(parent);
  EXPECT_TRUE(made.ok()) << (made.ok() ? "" : made.error().message());
  return made.ok() ? std::move(*made) : nullptr;
}

TEST(RunTempFolder, EachRunGetsItsOwnPrivateFolderRemovedAtTheEnd) {
  test::TempDir dir;
  fs::path first_path;
  {
    const auto first = MakeIn(dir.path());
    const auto second = MakeIn(dir.path());
    ASSERT_TRUE(first && second);
    first_path = first->path();
    EXPECT_NE(first->path(), second->path());
    EXPECT_EQ(first->path().parent_path(), dir.path());
    EXPECT_TRUE(first->path().filename().string().starts_with("QelTemp"));
    EXPECT_EQ(ModeOf(first->path()), 0700u);
    std::ofstream(first->path() / "Me0.txt") << "body";
  }
  EXPECT_FALSE(fs::exists(first_path));
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(RunTempFolder, TheLogIsKeptBesideWithoutReplacingAnything) {
  test::TempDir dir;
  std::ofstream(dir.path() / "log-data-1.txt") << "an earlier run's log";
  {
    const auto folder = MakeIn(dir.path());
    ASSERT_TRUE(folder);
    std::ofstream(folder->path() / "log-data-1.txt") << "this run";
    std::ofstream(folder->path() / "Me0.txt") << "working file";
    folder->KeepOnRemoval("log-data-1.txt");
  }
  EXPECT_EQ(test::ReadFile(dir.path() / "log-data-1.txt"), "an earlier run's log");
  EXPECT_EQ(test::ReadFile(dir.path() / "log-data-1 (2).txt"), "this run");
  EXPECT_FALSE(fs::exists(dir.path() / "Me0.txt"));
}

TEST(RunTempFolder, RemovalNeverFollowsALinkOutOfTheFolder) {
  test::TempDir dir;
  const fs::path precious = dir.path() / "precious";
  fs::create_directory(precious);
  std::ofstream(precious / "keep.txt") << "x";
  {
    const auto folder = MakeIn(dir.path() / "parent");
    ASSERT_TRUE(folder);
    fs::create_directory_symlink(precious, folder->path() / "link");
    fs::create_symlink(precious / "keep.txt", folder->path() / "file-link");
  }
  EXPECT_EQ(test::ReadFile(precious / "keep.txt"), "x");
}

TEST(RunTempFolder, AMissingParentIsMadePrivate) {
  test::TempDir dir;
  const auto folder = MakeIn(dir.path() / "a" / "b");
  ASSERT_TRUE(folder);
  EXPECT_EQ(ModeOf(dir.path() / "a" / "b"), 0700u);
}

TEST(RunTempFolder, RefusesAParentOthersCouldTamperWith) {
  test::TempDir dir;
  const fs::path open_dir = dir.path() / "open";
  fs::create_directory(open_dir);
  fs::permissions(open_dir, fs::perms::all);  // 0777 without the sticky bit
  const auto refused = RunTempFolder::Create(open_dir);
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.error().message().find("sticky"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(open_dir));

  fs::permissions(open_dir, fs::perms::all | fs::perms::sticky_bit);  // like /tmp
  EXPECT_TRUE(MakeIn(open_dir));

  const fs::path file = dir.path() / "file";
  std::ofstream(file) << "x";
  const auto not_a_directory = RunTempFolder::Create(file);
  ASSERT_FALSE(not_a_directory.ok());
  EXPECT_NE(not_a_directory.error().message().find(file.string()), std::string::npos);
}

TEST(RunTempFolder, DefaultsToTheRuntimeDirectoryThenTheTempDirectory) {
  test::TempDir runtime;
  const char* saved_runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string restore = saved_runtime ? saved_runtime : "";
  ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  EXPECT_EQ(RunTempFolder::DefaultParent(), runtime.path());
  ::setenv("XDG_RUNTIME_DIR", (runtime.path() / "missing").c_str(), 1);
  EXPECT_NE(RunTempFolder::DefaultParent(), runtime.path() / "missing");
  if (saved_runtime) {
    ::setenv("XDG_RUNTIME_DIR", restore.c_str(), 1);
  } else {
    ::unsetenv("XDG_RUNTIME_DIR");
  }
}

TEST(SafeFiles, NewFilesNeverFollowOrReplace) {
  test::TempDir dir;
  const fs::path target = dir.path() / "target";
  std::ofstream(target) << "victim";
  fs::create_symlink(target, dir.path() / ".bashrc");
  EXPECT_FALSE(CreateNewFile(dir.path() / ".bashrc", kPrivateFileMode).ok());
  EXPECT_FALSE(CreateNewFile(target, kPrivateFileMode).ok());
  EXPECT_EQ(test::ReadFile(target), "victim");

  // A working file made afresh replaces the link itself, never what it points to.
  Result<FileDescriptor> fresh = RecreateFile(dir.path() / ".bashrc", kPrivateFileMode);
  ASSERT_TRUE(fresh.ok());
  ASSERT_TRUE(WriteAll(fresh->get(), std::string_view("attachment")).ok());
  ASSERT_TRUE(fresh->Close().ok());
  EXPECT_EQ(test::ReadFile(target), "victim");
  EXPECT_EQ(test::ReadFile(dir.path() / ".bashrc"), "attachment");
  EXPECT_EQ(ModeOf(dir.path() / ".bashrc"), 0600u);
}

TEST(SafeFiles, FreshDirectoriesAreNeverShared) {
  test::TempDir dir;
  const Result<fs::path> first = CreateFreshDirectory(dir.path() / "convertPSTFile1");
  const Result<fs::path> second = CreateFreshDirectory(dir.path() / "convertPSTFile1");
  ASSERT_TRUE(first.ok() && second.ok());
  EXPECT_EQ(*first, dir.path() / "convertPSTFile1");
  EXPECT_EQ(*second, dir.path() / "convertPSTFile1-2");
  // A link in the root's place is a name taken, not a directory to write into.
  fs::create_directory_symlink(dir.path(), dir.path() / "linked");
  const Result<fs::path> beside_link = CreateFreshDirectory(dir.path() / "linked");
  ASSERT_TRUE(beside_link.ok());
  EXPECT_EQ(*beside_link, dir.path() / "linked-2");
  const Result<fs::path> unmakeable = CreateFreshDirectory(dir.path() / "no" / "such");
  ASSERT_FALSE(unmakeable.ok());
  EXPECT_NE(unmakeable.error().message().find("no/such"), std::string::npos);
}

}  // namespace
}  // namespace bm

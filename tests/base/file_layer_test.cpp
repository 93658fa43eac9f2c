// The file layer: links are never followed, nothing is replaced unasked, a failed write leaves
// no file, a taken name is told apart from other failures, and folders of any depth work.
#include <gtest/gtest.h>
#include <limits.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/file_bytes.h"
#include "base/pending_file.h"
#include "base/safe_files.h"
#include "support/test_support.h"

namespace bm {
namespace {

namespace fs = std::filesystem;

std::size_t EntryCount(const fs::path& directory) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(directory), fs::directory_iterator()));
}

// Files larger than `bytes` cannot be written while it lives (writes fail with EFBIG): a
// disk that fills up part-way through a file.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t old_handler_ = SIG_DFL;
};

TEST(FileLayer, LinksInAFilesPlaceAreNeverFollowed) {
  test::TempDir dir;
  const fs::path victim = dir.path() / "victim";
  std::ofstream(victim) << "victim";
  const fs::path link = dir.path() / "link";
  fs::create_symlink(victim, link);

  EXPECT_EQ(ReadFileBytes(victim), "victim");
  EXPECT_EQ(ReadFileBytes(link), std::nullopt);
  const Result<FileDescriptor> read = OpenFileForReading(link);
  ASSERT_FALSE(read.ok());
  EXPECT_EQ(read.error().system_error(), ELOOP);

  // Keeping what is there: the link is a name taken.
  const Status kept = WriteFileAtomically(link, "new", ExistingFile::kKeep);
  ASSERT_FALSE(kept.ok());
  EXPECT_EQ(kept.error().system_error(), EEXIST);
  // Replacing: the link itself goes, what it pointed to stays as it was.
  ASSERT_TRUE(WriteFileAtomically(link, "new", ExistingFile::kReplace).ok());
  EXPECT_FALSE(fs::is_symlink(link));
  EXPECT_EQ(ReadFileBytes(link), "new");
  EXPECT_EQ(ReadFileBytes(victim), "victim");

  // A dangling link is a name taken too.
  fs::create_symlink(dir.path() / "nowhere", dir.path() / "dangling");
  EXPECT_EQ(PathExists(dir.path() / "dangling").value_or(false), true);
  EXPECT_EQ(PathExists(dir.path() / "nowhere").value_or(true), false);
  EXPECT_EQ(CreateNewFile(dir.path() / "dangling", kOutputFileMode).error().system_error(), EEXIST);
  EXPECT_FALSE(fs::exists(dir.path() / "nowhere"));
}

TEST(FileLayer, ATakenNameIsToldApartFromOtherFailures) {
  test::TempDir dir;
  const fs::path target = dir.path() / "item.msg";
  std::ofstream(target) << "first";

  errno = 0;
  const Status kept = WriteFileAtomically(target, "second", ExistingFile::kKeep);
  ASSERT_FALSE(kept.ok());
  EXPECT_EQ(kept.error().system_error(), EEXIST);
  // The temporary file's removal must not hide why the write failed.
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(ReadFileBytes(target), "first");
  EXPECT_EQ(EntryCount(dir.path()), 1u);

  fs::create_directory(dir.path() / "made");
  const Status moved = MoveWithoutReplacing(target, dir.path() / "made");
  ASSERT_FALSE(moved.ok());
  EXPECT_EQ(moved.error().system_error(), EEXIST);
  ASSERT_TRUE(MoveWithoutReplacing(target, dir.path() / "moved.msg").ok());
  EXPECT_EQ(ReadFileBytes(dir.path() / "moved.msg"), "first");

  const Status missing =
      WriteFileAtomically(dir.path() / "no" / "such.msg", "x", ExistingFile::kKeep);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().system_error(), ENOENT);
  const Status too_long =
      WriteFileAtomically(dir.path() / std::string(NAME_MAX + 1, 'n'), "x", ExistingFile::kKeep);
  ASSERT_FALSE(too_long.ok());
  EXPECT_EQ(too_long.error().system_error(), ENAMETOOLONG);
  EXPECT_EQ(EntryCount(dir.path()), 2u) << "no temporary file may stay behind";
}

TEST(FileLayer, AWriteCutShortLeavesNoFileAndKeepsTheOldOne) {
  test::TempDir dir;
  const fs::path target = dir.path() / "page.htm";
  const std::string big(64 * 1024, 'x');
  {
    const FileSizeLimit limit(1024);
    const Status fresh = WriteFileAtomically(target, big, ExistingFile::kKeep);
    ASSERT_FALSE(fresh.ok());
    EXPECT_EQ(fresh.error().system_error(), EFBIG);
  }
  EXPECT_EQ(EntryCount(dir.path()), 0u);

  ASSERT_TRUE(WriteFileAtomically(target, "old", ExistingFile::kReplace).ok());
  {
    const FileSizeLimit limit(1024);
    EXPECT_FALSE(WriteFileAtomically(target, big, ExistingFile::kReplace).ok());
  }
  EXPECT_EQ(ReadFileBytes(target), "old");
  EXPECT_EQ(EntryCount(dir.path()), 1u);
}

TEST(FileLayer, PlacingUnderTheFirstFreeNameStopsAtOtherFailures) {
  test::TempDir dir;
  std::ofstream(dir.path() / "a--1.txt") << "taken";
  std::ofstream(dir.path() / "a--1 (2).txt") << "taken";
  const auto candidate = [&](int attempt) {
    return dir.path() /
           ("a--1" + (attempt > 1 ? " (" + std::to_string(attempt) + ")" : "") + ".txt");
  };
  Result<PendingFile> file = PendingFile::Create(dir.path());
  ASSERT_TRUE(file.ok());
  ASSERT_TRUE(file->Write("third").ok());
  const Result<fs::path> placed = file->PlaceAsFirstFree(candidate, 100);
  ASSERT_TRUE(placed.ok()) << placed.error().message();
  EXPECT_EQ(*placed, dir.path() / "a--1 (3).txt");
  EXPECT_EQ(ReadFileBytes(*placed), "third");

  // A name the file system cannot take is not tried again under other numbers.
  Result<PendingFile> other = PendingFile::Create(dir.path());
  ASSERT_TRUE(other.ok());
  ASSERT_TRUE(other->Write("x").ok());
  int calls = 0;
  const Result<fs::path> refused = other->PlaceAsFirstFree(
      [&](int) {
        ++calls;
        return dir.path() / std::string(NAME_MAX + 1, 'n');
      },
      100000);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().system_error(), ENAMETOOLONG);
  EXPECT_EQ(calls, 1);
  // No more than `attempts` names are tried.
  const Result<fs::path> exhausted =
      other->PlaceAsFirstFree([&](int) { return dir.path() / "a--1.txt"; }, 3);
  ASSERT_FALSE(exhausted.ok());
  EXPECT_EQ(exhausted.error().system_error(), EEXIST);
}

TEST(FileLayer, WorkingFilesAreRecreatedAndReadOnlyAsRegularFiles) {
  test::TempDir dir;
  const fs::path working = dir.path() / "body.htm";
  {
    Result<FileDescriptor> first = RecreateFile(working, kPrivateFileMode);
    ASSERT_TRUE(first.ok());
    ASSERT_TRUE(WriteAll(first->get(), std::string_view("long first body")).ok());
  }
  {
    Result<FileDescriptor> second = RecreateFile(working, kPrivateFileMode);
    ASSERT_TRUE(second.ok());
    ASSERT_TRUE(WriteAll(second->get(), std::string_view("short")).ok());
  }
  EXPECT_EQ(ReadFileBytes(working), "short");
  ASSERT_TRUE(RemoveFile(working).ok());
  EXPECT_TRUE(RemoveFile(working).ok()) << "a name already gone is no error";
  EXPECT_EQ(PathExists(working).value_or(true), false);

  EXPECT_EQ(ReadFileBytes(dir.path()), std::nullopt);
  EXPECT_EQ(ReadFileBytes(dir.path() / "absent"), std::nullopt);
  ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
  // Refused at once, not waited on.
  EXPECT_EQ(ReadFileBytes(dir.path() / "fifo"), std::nullopt);
  const std::string zeros(100000, '\0');
  ASSERT_TRUE(WriteFileAtomically(dir.path() / "zeros", zeros, ExistingFile::kKeep).ok());
  EXPECT_EQ(ReadFileBytes(dir.path() / "zeros"), zeros);
}

// A chain of folders whose path is twice what the kernel takes in one call.
class DeepFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    deepest_ = dir_.path();
    const std::string name(200, 'd');
    while (deepest_.native().size() < 2 * PATH_MAX) {
      const Result<fs::path> made = CreateFreshDirectory(deepest_ / name);
      ASSERT_TRUE(made.ok()) << made.error().message().substr(0, 200);
      deepest_ = *made;
    }
  }
  // std::filesystem cannot remove what lies below PATH_MAX; rm can.
  void TearDown() override { test::Run("rm -rf " + test::Quote(dir_.path().string())); }

  test::TempDir dir_;
  fs::path deepest_;
};

TEST_F(DeepFolders, EveryOperationWorksBelowPathMax) {
  ASSERT_EQ(::access(deepest_.c_str(), F_OK), -1);
  EXPECT_EQ(errno, ENAMETOOLONG) << "the folder must lie beyond one call's reach";

  const fs::path target = deepest_ / "item--1.msg";
  ASSERT_TRUE(WriteFileAtomically(target, "message", ExistingFile::kKeep).ok());
  EXPECT_EQ(ReadFileBytes(target), "message");
  EXPECT_EQ(PathExists(target).value_or(false), true);
  EXPECT_EQ(PathExists(deepest_ / "item--2.msg").value_or(true), false);
  const Status again = WriteFileAtomically(target, "other", ExistingFile::kKeep);
  ASSERT_FALSE(again.ok());
  EXPECT_EQ(again.error().system_error(), EEXIST);

  Result<PendingFile> file = PendingFile::Create(deepest_);
  ASSERT_TRUE(file.ok()) << file.error().message().substr(0, 200);
  ASSERT_TRUE(file->Write("text").ok());
  const Result<fs::path> placed = file->PlaceAsFirstFree(
      [&](int attempt) { return deepest_ / ("item--" + std::to_string(attempt) + ".msg"); }, 10);
  ASSERT_TRUE(placed.ok());
  EXPECT_EQ(*placed, deepest_ / "item--2.msg");

  ASSERT_TRUE(CreateNewFile(deepest_ / "attachment.bin", kOutputFileMode).ok());
  EXPECT_FALSE(CreateNewFile(deepest_ / "attachment.bin", kOutputFileMode).ok());
  ASSERT_TRUE(RecreateFile(deepest_ / "attachment.bin", kPrivateFileMode).ok());
  ASSERT_TRUE(MoveWithoutReplacing(deepest_ / "attachment.bin", deepest_ / "moved.bin").ok());
  EXPECT_FALSE(MoveWithoutReplacing(deepest_ / "item--1.msg", deepest_ / "moved.bin").ok());
  ASSERT_TRUE(RemoveFile(deepest_ / "moved.bin").ok());

  const Result<fs::path> twin = CreateFreshDirectory(deepest_.parent_path() / "d");
  ASSERT_TRUE(twin.ok());
  EXPECT_EQ(CreateFreshDirectory(deepest_.parent_path() / "d").value_or(""),
            deepest_.parent_path() / "d-2");
  EXPECT_EQ(PathExists(*twin).value_or(false), true);
}

TEST_F(DeepFolders, RelativePathsAndMissingFoldersOnTheWay) {
  // Relative to the working directory, as a user may name the destination.
  const fs::path saved = fs::current_path();
  fs::current_path(dir_.path());
  const fs::path relative = deepest_.lexically_relative(dir_.path()) / "relative.txt";
  EXPECT_TRUE(WriteFileAtomically(relative, "r", ExistingFile::kKeep).ok());
  fs::current_path(saved);
  EXPECT_EQ(ReadFileBytes(deepest_ / "relative.txt"), "r");

  // A folder missing half-way down is named as missing, not mistaken for a free name.
  const fs::path below_missing = deepest_.parent_path() / "missing" / deepest_.filename() / "x";
  const Status write = WriteFileAtomically(below_missing, "x", ExistingFile::kKeep);
  ASSERT_FALSE(write.ok());
  EXPECT_EQ(write.error().system_error(), ENOENT);
  EXPECT_EQ(PathExists(below_missing).value_or(true), false);
  EXPECT_FALSE(PendingFile::Create(below_missing).ok());
}

}  // namespace
}  // namespace bm

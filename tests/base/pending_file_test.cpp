// Files that reach their final name only when whole, and never replace one unasked.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/pending_file.h"
#include "base/utf16_file.h"
#include "support/test_support.h"

namespace bm {
namespace {

namespace fs = std::filesystem;

std::size_t EntryCount(const fs::path& directory) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(directory), fs::directory_iterator()));
}

TEST(PendingFile, IsWrittenUnderATemporaryNameUntilPlaced) {
  test::TempDir dir;
  Result<PendingFile> file = PendingFile::Create(dir.path());
  ASSERT_TRUE(file.ok()) << file.error().message();
  EXPECT_TRUE(IsPendingFileName(file->path().filename().string()));
  EXPECT_EQ(file->path().parent_path(), dir.path());
  ASSERT_TRUE(file->Write("whole").ok());
  EXPECT_FALSE(fs::exists(dir.path() / "final.txt"));
  const Result<bool> placed = file->PlaceAs(dir.path() / "final.txt");
  ASSERT_TRUE(placed.ok());
  EXPECT_TRUE(*placed);
  EXPECT_EQ(test::ReadFile(dir.path() / "final.txt"), "whole");
  EXPECT_EQ(EntryCount(dir.path()), 1u);
}

TEST(PendingFile, PlacingNeverReplacesAndLeavesTheFileForAnotherName) {
  test::TempDir dir;
  std::ofstream(dir.path() / "taken.txt") << "before";
  Result<PendingFile> file = PendingFile::Create(dir.path());
  ASSERT_TRUE(file.ok());
  ASSERT_TRUE(file->Write("new").ok());
  const Result<bool> refused = file->PlaceAs(dir.path() / "taken.txt");
  ASSERT_TRUE(refused.ok());
  EXPECT_FALSE(*refused);
  EXPECT_EQ(test::ReadFile(dir.path() / "taken.txt"), "before");
  const Result<bool> placed = file->PlaceAs(dir.path() / "other.txt");
  ASSERT_TRUE(placed.ok() && *placed);
  EXPECT_EQ(test::ReadFile(dir.path() / "other.txt"), "new");
}

TEST(PendingFile, AnUnplacedFileIsRemovedAlsoAfterAMove) {
  test::TempDir dir;
  {
    Result<PendingFile> file = PendingFile::Create(dir.path());
    ASSERT_TRUE(file.ok());
    ASSERT_TRUE(file->Write("abandoned").ok());
    PendingFile moved = std::move(*file);
    EXPECT_EQ(EntryCount(dir.path()), 1u);
  }
  EXPECT_EQ(EntryCount(dir.path()), 0u);
}

TEST(PendingFile, FailuresSayWhy) {
  test::TempDir dir;
  const Result<PendingFile> missing = PendingFile::Create(dir.path() / "missing");
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.error().message().find("No such file"), std::string::npos);

  Result<PendingFile> file = PendingFile::Create(dir.path());
  ASSERT_TRUE(file.ok());
  // Not written yet: nothing may reach a final name.
  EXPECT_FALSE(file->PlaceAs(dir.path() / "early.txt").ok());
  EXPECT_FALSE(fs::exists(dir.path() / "early.txt"));
}

TEST(WriteUtf16File, ReplacesThroughATemporaryName) {
  test::TempDir dir;
  ASSERT_TRUE(WriteUtf16File(dir.path() / "page.htm", u"first"));
  ASSERT_TRUE(WriteUtf16File(dir.path() / "page.htm", u"x"));
  EXPECT_EQ(test::ReadFile(dir.path() / "page.htm"), std::string("\xFF\xFEx\0", 4));
  EXPECT_EQ(EntryCount(dir.path()), 1u);
  EXPECT_FALSE(WriteUtf16File(dir.path() / "missing" / "page.htm", u"x"));
}

}  // namespace
}  // namespace bm

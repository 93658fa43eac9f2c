// Whole-file writes as the components see them: the target is never seen half written, a kept file
// is never replaced, and no temporary file is left behind, whatever the outcome.
#include "msg/file_bytes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace bm {
namespace {

namespace fs = std::filesystem;

std::size_t EntriesIn(const fs::path& directory) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(directory)) ++count;
  return count;
}

TEST(WriteFileBytes, ReplacesOrKeepsAnExistingFileAsAsked) {
  test::TempDir dir;
  const fs::path target = dir.path() / "item.msg";
  ASSERT_EQ(WriteFileBytes(target, "first"), S_OK);
  EXPECT_EQ(WriteFileBytes(target, "second"), S_OK);
  EXPECT_EQ(test::ReadFile(target), "second");

  EXPECT_EQ(WriteFileBytes(target, "third", ExistingFile::kKeep), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(test::ReadFile(target), "second");
  EXPECT_EQ(EntriesIn(dir.path()), 1u) << "the temporary file must not stay behind";
}

TEST(WriteFileBytes, TheLongestNameTheFileSystemTakesWorks) {
  test::TempDir dir;
  const fs::path target = dir.path() / (std::string(251, 'n') + ".msg");
  ASSERT_EQ(target.filename().string().size(), 255u);
  EXPECT_EQ(WriteFileBytes(target, "bytes", ExistingFile::kKeep), S_OK);
  EXPECT_EQ(test::ReadFile(target), "bytes");
  EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(WriteFileBytes, FailuresAreNamedAndLeaveNothing) {
  test::TempDir dir;
  EXPECT_EQ(WriteFileBytes(dir.path() / "missing" / "x.msg", "bytes"), STG_E_PATHNOTFOUND);
  // Named as too long, not as a missing file.
  EXPECT_EQ(WriteFileBytes(dir.path() / (std::string(256, 'n')), "bytes"), E_FILENAMETOOLONG);

  // A directory where the file should go: the write fails and the directory stays.
  fs::create_directory(dir.path() / "taken");
  EXPECT_TRUE(Failed(WriteFileBytes(dir.path() / "taken", "bytes", ExistingFile::kKeep)));
  EXPECT_TRUE(Failed(WriteFileBytes(dir.path() / "taken", "bytes")));
  EXPECT_TRUE(fs::is_directory(dir.path() / "taken"));

  if (::geteuid() != 0) {  // root writes into read-only folders all the same
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(WriteFileBytes(dir.path() / "y.msg", "bytes"), STG_E_ACCESSDENIED);
    fs::permissions(dir.path(), fs::perms::owner_all);
  }
  EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

}  // namespace
}  // namespace bm

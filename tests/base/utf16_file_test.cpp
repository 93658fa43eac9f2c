#include <gtest/gtest.h>

#include "base/utf16_file.h"
#include "support/test_support.h"

namespace bm {
namespace {

TEST(CUTF16FileTest, WritesOneMarkAndLittleEndianUnits) {
  test::TempDir dir;
  const auto path = dir.path() / "f.txt";
  CUTF16File file;
  ASSERT_TRUE(file.Open(path, CUTF16File::modeCreate | CUTF16File::modeWrite));
  EXPECT_TRUE(file.WriteString(u"ab"));
  EXPECT_TRUE(file.WriteString(u"c"));
  EXPECT_TRUE(file.Close());
  EXPECT_EQ(test::ReadFile(path), std::string("\xFF\xFE"
                                              "a\0b\0c\0",
                                              8));
}

TEST(CUTF16FileTest, EmptyStringGivesJustTheMarkAndCreateTruncates) {
  test::TempDir dir;
  const auto path = dir.path() / "f.txt";
  ASSERT_TRUE(WriteUtf16File(path, u"something longer"));
  ASSERT_TRUE(WriteUtf16File(path, u""));
  EXPECT_EQ(test::ReadFile(path), "\xFF\xFE");
}

TEST(CUTF16FileTest, ReadsBackLinesOfEitherByteOrder) {
  test::TempDir dir;
  const auto path = dir.path() / "f.txt";
  ASSERT_TRUE(WriteUtf16File(path, u"one\r\n\u6771\u4eac\r\n"));
  CUTF16File file;
  ASSERT_TRUE(file.Open(path, CUTF16File::modeReadWrite));
  EXPECT_TRUE(file.IsUtf16());
  EXPECT_FALSE(file.IsBigEndian());
  EXPECT_EQ(file.ReadString(), u"one");
  EXPECT_EQ(file.ReadString(), u"\u6771\u4eac");
  EXPECT_EQ(file.ReadString(), std::nullopt);
}

TEST(CUTF16FileTest, OpenFailsInAMissingDirectory) {
  test::TempDir dir;
  CUTF16File file;
  EXPECT_FALSE(
      file.Open(dir.path() / "missing" / "f.txt", CUTF16File::modeCreate | CUTF16File::modeWrite));
  EXPECT_FALSE(file.WriteString(u"x"));
}

}  // namespace
}  // namespace bm

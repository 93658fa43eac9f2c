// Converted file names that fit and never replace, and body texts for the UTF-16 files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "base/pending_file.h"

#include "writer_fixture.h"
#include "writers/item_files.h"

namespace bm {
namespace {

using test::ReadFile;
using test::TempDir;

TEST(FitFileName, CutsTheStemSoTheWholeNameFits) {
  EXPECT_EQ(FitFileName(u"short", u"--1.txt"), u"short");
  const std::u16string stem(300, u'x');
  EXPECT_EQ(FitFileName(stem, u"--17.txt").size(), 255u - 8u);
  // Four-byte characters (surrogate pairs) are kept whole or dropped whole.
  std::u16string emoji;
  for (int i = 0; i < 100; ++i) emoji += u"\U0001F600";
  const std::u16string cut = FitFileName(emoji, u"--1.msg");
  EXPECT_EQ(cut.size() % 2, 0u);
  EXPECT_LE(ToUtf8(cut).size() + 7, 255u);
  EXPECT_GT(ToUtf8(cut).size() + 7, 250u);
}

// Writes a text file named for `stem`, with a one-line text and no body.
Result<std::u16string> WriteText(const std::filesystem::path& directory, std::u16string_view stem,
                                 std::u16string_view number = u"17") {
  return WriteTargetTextFile(FromPath(directory), stem, number, u".txt", u"L:\t\tv\r\n",
                             RecordBody{});
}

// Nothing but final names is left behind: no temporary file survives a write or a failure.
void ExpectNoPendingFiles(const std::filesystem::path& directory) {
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    EXPECT_FALSE(IsPendingFileName(entry.path().filename().string())) << entry.path();
  }
}

TEST(WriteTargetTextFile, NeverReplacesAnExistingFile) {
  TempDir dir;
  const auto first = WriteText(dir.path(), u"Re  Offer");
  ASSERT_TRUE(first.ok()) << first.error().message();
  EXPECT_EQ(ToPath(*first).filename(), "Re  Offer--17.txt");
  { std::ofstream(ToPath(*first)) << "converted before"; }
  const auto second = WriteText(dir.path(), u"Re  Offer");
  ASSERT_TRUE(second.ok());
  EXPECT_EQ(ToPath(*second).filename(), "Re  Offer--17 (2).txt");
  EXPECT_EQ(ReadFile(ToPath(*first)), "converted before");
  EXPECT_EQ(ToPath(WriteText(dir.path(), u"Re  Offer").value()).filename(),
            "Re  Offer--17 (3).txt");
  ExpectNoPendingFiles(dir.path());
}

TEST(WriteTargetTextFile, KeepsTheNumberTailOfALongSubject) {
  TempDir dir;
  const auto path = WriteText(dir.path(), std::u16string(400, u'\u00e9'), u"5");
  ASSERT_TRUE(path.ok());
  const std::string name = ToPath(*path).filename().string();
  EXPECT_LE(name.size(), 255u);
  EXPECT_EQ(name.substr(name.size() - 7), "--5.txt");
  EXPECT_TRUE(std::filesystem::exists(ToPath(*path)));
}

TEST(WriteTargetTextFile, EmptySubjectAndSubjectsOfDotsStayInTheFolder) {
  TempDir dir;
  for (const std::u16string_view subject : {u"", u"..", u"."}) {
    const auto path = WriteText(dir.path(), TargetFileStem(subject), u"1");
    ASSERT_TRUE(path.ok());
    EXPECT_EQ(ToPath(*path).parent_path(), dir.path());
  }
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "--1.txt"));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "..--1.txt"));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / ".--1.txt"));
  ExpectNoPendingFiles(dir.path());
}

TEST(WriteTargetTextFile, FailsWithTheReasonWhenTheFolderIsMissing) {
  TempDir dir;
  const auto path = WriteText(dir.path() / "missing", u"s");
  ASSERT_FALSE(path.ok());
  EXPECT_NE(path.error().message().find("cannot be created"), std::string::npos);
}

TEST(WriteTargetTextFile, FailsWithoutLeavingAnythingInAFolderThatTakesNoFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempDir dir;
  std::filesystem::permissions(
      dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_FALSE(WriteText(dir.path(), u"s").ok());
  std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(FreeTargetPath, PicksTheFirstNameNotTaken) {
  TempDir dir;
  const std::u16string folder = FromPath(dir.path());
  EXPECT_EQ(ToPath(FreeTargetPath(folder, u"a b c ", u"3", u".msg")).filename(), "a b c --3.msg");
  std::ofstream(dir.path() / "a b c --3.msg") << "x";
  EXPECT_EQ(ToPath(FreeTargetPath(folder, u"a b c ", u"3", u".msg")).filename(),
            "a b c --3 (2).msg");
}

TEST(BodyAsText, DecodesPlainTextAndWidensHtmlAndRtf) {
  const std::string cafe = "caf\xC3\xA9";
  RecordBody text{{cafe.begin(), cafe.end()}, BodyKind::kText};
  EXPECT_EQ(BodyAsText(text), u"caf\u00e9");
  RecordBody html{{cafe.begin(), cafe.end()}, BodyKind::kHtml};
  EXPECT_EQ(BodyAsText(html), u"caf\u00c3\u00a9");
  RecordBody with_zero{{'a', 'b', 0, 'c'}, BodyKind::kRtf};
  EXPECT_EQ(BodyAsText(with_zero), u"ab");
}

TEST(WriteTargetTextFile, WritesTheMarkTheTextAndTheBody) {
  TempDir dir;
  const std::string body = "caf\xC3\xA9";
  const auto path = WriteTargetTextFile(FromPath(dir.path()), u"x", u"1", u".txt", u"L:\t\tv\r\n",
                                        RecordBody{{body.begin(), body.end()}, BodyKind::kText});
  ASSERT_TRUE(path.ok());
  EXPECT_EQ(ReadFile(ToPath(*path)), test::Utf16FileBytes(u"L:\t\tv\r\ncaf\u00e9"));
}

}  // namespace
}  // namespace bm

// Converted file names that fit and never replace, and body texts for the UTF-16 files.
#include <gtest/gtest.h>

#include <fstream>

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

TEST(ClaimTargetFile, NeverReplacesAnExistingFile) {
  TempDir dir;
  const std::u16string folder = FromPath(dir.path());
  const auto first = ClaimTargetFile(folder, u"Re  Offer", u"17", u".txt");
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(ToPath(*first).filename(), "Re  Offer--17.txt");
  { std::ofstream(ToPath(*first)) << "converted before"; }
  const auto second = ClaimTargetFile(folder, u"Re  Offer", u"17", u".txt");
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(ToPath(*second).filename(), "Re  Offer--17 (2).txt");
  EXPECT_EQ(ReadFile(ToPath(*first)), "converted before");
  EXPECT_EQ(ToPath(ClaimTargetFile(folder, u"Re  Offer", u"17", u".txt").value()).filename(),
            "Re  Offer--17 (3).txt");
}

TEST(ClaimTargetFile, KeepsTheNumberTailOfALongSubject) {
  TempDir dir;
  const auto path =
      ClaimTargetFile(FromPath(dir.path()), std::u16string(400, u'\u00e9'), u"5", u".txt");
  ASSERT_TRUE(path.has_value());
  const std::string name = ToPath(*path).filename().string();
  EXPECT_LE(name.size(), 255u);
  EXPECT_EQ(name.substr(name.size() - 7), "--5.txt");
  EXPECT_TRUE(std::filesystem::exists(ToPath(*path)));
}

TEST(ClaimTargetFile, EmptySubjectAndSubjectsOfDotsStayInTheFolder) {
  TempDir dir;
  for (const std::u16string_view subject : {u"", u"..", u"."}) {
    const auto path = ClaimTargetFile(FromPath(dir.path()), TargetFileStem(subject), u"1", u".txt");
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(ToPath(*path).parent_path(), dir.path());
  }
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "--1.txt"));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "..--1.txt"));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / ".--1.txt"));
}

TEST(ClaimTargetFile, FailsWhenTheFolderIsMissing) {
  TempDir dir;
  EXPECT_FALSE(ClaimTargetFile(FromPath(dir.path() / "missing"), u"s", u"1", u".txt"));
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

TEST(WriteLabelledFile, WritesTheMarkTheTextAndTheBody) {
  TempDir dir;
  const std::string body = "caf\xC3\xA9";
  const std::u16string path = FromPath(dir.path() / "x.txt");
  ASSERT_TRUE(WriteLabelledFile(path, u"L:\t\tv\r\n",
                                RecordBody{{body.begin(), body.end()}, BodyKind::kText}));
  EXPECT_EQ(ReadFile(dir.path() / "x.txt"), test::Utf16FileBytes(u"L:\t\tv\r\ncaf\u00e9"));
}

}  // namespace
}  // namespace bm

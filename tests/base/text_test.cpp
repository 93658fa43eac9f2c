#include <gtest/gtest.h>

#include "base/paths.h"
#include "base/text.h"

namespace bm {
namespace {

TEST(TextTest, Utf8RoundTripKeepsEveryPlane) {
  const std::u16string text = u"caf\u00e9 \u6771\u4eac \U0001F600 plain";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(u"\u00e9"), "\xc3\xa9");
}

TEST(TextTest, MalformedInputBecomesReplacementCharacters) {
  // A lone surrogate cannot be written as UTF-8; it must not vanish silently either.
  EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd");
  // A cut sequence, an overlong encoding and a stray continuation byte.
  EXPECT_EQ(FromUtf8("a\xc3"), u"a\ufffd");
  EXPECT_EQ(FromUtf8("\xc0\xaf"), u"\ufffd");
  EXPECT_EQ(FromUtf8("\x80z"), u"\ufffdz");
  EXPECT_EQ(FromUtf8("\xed\xa0\x80"), u"\ufffd");  // an encoded surrogate
}

TEST(TextTest, LatinWideningAndControlStripping) {
  const std::uint8_t bytes[] = {'a', 0xE9, 0xFF};
  EXPECT_EQ(BytesToText(bytes), u"a\u00e9\u00ff");
  EXPECT_EQ(Utf16ToText(u"\x01\x05Re: hi\r\n"), u"Re: hi");
}

TEST(TextTest, ReplaceAllDoesNotRescanReplacements) {
  std::u16string text = u"Jan 05, 2013";
  ReplaceAll(text, u", ", u"/");
  ReplaceAll(text, u"Jan ", u"01/");
  EXPECT_EQ(text, u"01/05/2013");
  std::u16string grow = u"aa";
  ReplaceAll(grow, u"a", u"aa");
  EXPECT_EQ(grow, u"aaaa");
}

TEST(PathsTest, JoinUsesExactlyOneSeparator) {
  EXPECT_EQ(JoinPath(u"/tmp/a/", u"b"), u"/tmp/a/b");
  EXPECT_EQ(JoinPath(u"/tmp/a", u"/b"), u"/tmp/a/b");
  // An empty name leaves the directory with a trailing separator.
  EXPECT_EQ(JoinPath(u"/tmp/a", u""), u"/tmp/a/");
  EXPECT_EQ(WithTrailingSeparator(u"/x"), u"/x/");
  EXPECT_EQ(WithTrailingSeparator(u"/x/"), u"/x/");
}

}  // namespace
}  // namespace bm

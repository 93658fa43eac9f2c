#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <vector>

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

// Code page 1252 carries RTF bytes through the preview's text and back out into the
// converted text file: every byte must come back as itself.
TEST(TextTest, Cp1252BytesComeBackUnchanged) {
  for (int byte = 0; byte < 256; ++byte) {
    const char16_t ch = Cp1252ToChar(static_cast<std::uint8_t>(byte));
    EXPECT_EQ(CharToCp1252(ch), std::optional<std::uint8_t>(static_cast<std::uint8_t>(byte)))
        << byte;
  }
  EXPECT_EQ(Cp1252ToChar(0x80), u'\u20AC');
  EXPECT_EQ(Cp1252ToChar(0x9F), u'\u0178');
  EXPECT_EQ(Cp1252ToChar(0x81), u'\u0081');  // undefined in the code page
  EXPECT_EQ(Cp1252ToChar(0xE9), u'\u00E9');
  // Characters the code page has no byte for.
  EXPECT_FALSE(CharToCp1252(u'\u0100').has_value());
  EXPECT_FALSE(CharToCp1252(u'\u4E2D').has_value());
  EXPECT_EQ(Cp1252ToUtf8("caf\xE9 \x80\x9D"), "caf\xC3\xA9 \xE2\x82\xAC\xC2\x9D");
}

TEST(TextTest, LatinWideningAndControlStripping) {
  const std::uint8_t bytes[] = {'a', 0xE9, 0xFF};
  EXPECT_EQ(BytesToText(bytes), u"a\u00e9\u00ff");
  EXPECT_EQ(Utf16ToText(u"\x01\x05Re: hi\r\n"), u"Re: hi");
}

// Stored 8-bit text: every byte comes back as some character, whatever the code page says.
TEST(TextTest, CodePageDecodingLosesNoByte) {
  auto bytes = [](std::string_view text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
  };
  EXPECT_EQ(DecodeCodePage(bytes("\x80 caf\xe9"), 1252), u"\u20ac caf\u00e9");
  EXPECT_EQ(DecodeCodePage(bytes("\xe0\xe1"), 1251), u"\u0430\u0431");
  EXPECT_EQ(DecodeCodePage(bytes("caf\xc3\xa9"), 65001), u"caf\u00e9");
  using namespace std::string_view_literals;
  EXPECT_EQ(DecodeCodePage(bytes("a\0b\0\x3d\xd8\x00\xde"sv), kUtf16LeCodePage), u"ab\U0001F600");
  // 0xAA has no character in code page 1253: widened, and the bytes after it still decode.
  EXPECT_EQ(DecodeCodePage(bytes("\xe1\xaa\xe2"), 1253), u"\u03b1\u00aa\u03b2");
  // A code page the system cannot convert reads as 1252.
  EXPECT_EQ(DecodeCodePage(bytes("\x80"), 99999), u"\u20ac");
  EXPECT_EQ(DecodeCodePage({}, 1252), u"");
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

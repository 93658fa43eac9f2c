#include "preview/rtf_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace bm {
namespace {

struct Conversion {
  int result;
  std::u16string text;
};

Conversion Convert(std::string_view rtf) {
  Conversion c{0, {}};
  c.result = ConvertRtfToText(
      std::span(reinterpret_cast<const std::uint8_t*>(rtf.data()), rtf.size()), c.text);
  return c;
}

void ExpectText(std::string_view rtf, std::u16string_view text, int result = rtf::kOk) {
  const Conversion c = Convert(rtf);
  EXPECT_EQ(c.result, result) << rtf;
  EXPECT_EQ(c.text, text) << rtf;
}

TEST(RtfReader, PlainDocumentSkipsFontTableAndUnknownWords) {
  ExpectText("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\pard Hello\\par World}", u"Hello\nWorld");
}

TEST(RtfReader, StarSkipsOnlyUnknownDestinations) {
  ExpectText("{\\*\\foo text}", u"");
  ExpectText("{\\*\\b text}", u"text");
  // The skip ends with the group that started it.
  ExpectText("{\\*\\foo hidden}{shown}", u"shown");
  // "\*" is cleared by the next word, known or not.
  ExpectText("{\\*\\b x\\foo y}", u"xy");
}

TEST(RtfReader, DestinationWordsSkipTheirGroup) {
  for (const char* word : {"author", "colortbl", "fonttbl", "header", "info", "pict", "stylesheet",
                           "xe", "footnote", "ftnsepc"}) {
    ExpectText(std::string("a{\\") + word + " hidden {nested}}b", u"ab");
  }
  // Letters end at a digit: "\private1" reads as "private" with parameter 1, a word the
  // table does not hold, so its text shows.
  ExpectText("{\\private1 shown}", u"shown");
}

TEST(RtfReader, HexEscapes) {
  ExpectText("\\'41\\'6a\\'4A", u"AjJ");
  ExpectText("ok\\'4g", u"ok", rtf::kInvalidHex);
  // Bytes above 0x7F are code page 1252 characters, whether escaped or raw.
  ExpectText("\\'80\\'e9\\'9f\xe9", u"\u20AC\u00E9\u0178\u00E9");
  // In a skipped destination "\'" does nothing, so its digits are discarded as text.
  ExpectText("{\\*\\foo \\'4g}ok", u"ok");
}

TEST(RtfReader, LineBreaksComeOnlyFromWords) {
  ExpectText("one\r\ntwo\nthree", u"onetwothree");
  ExpectText("a\\par b\\tab c\\ldblquote d\\rdblquote", u"a\nb\tc\"d\"");
  ExpectText("\\{\\}\\\\", u"{}\\");
  // A backslash followed by a zero byte reads as the empty keyword: a line feed.
  ExpectText(std::string_view("x\\\0y", 4), u"x\ny");
}

TEST(RtfReader, BinaryDataIsCopiedAsIs) {
  ExpectText("\\bin3 {}\\", u"{}\\");
  ExpectText("\\bin2 \r\nz", u"\r\nz");
  // "\bin" takes its count from the digits, without the sign.
  ExpectText("\\bin-2 }}x", u"}}x");
  // In a skipped destination "\bin" still acts, so braces in the data do not close groups.
  ExpectText("{\\fonttbl\\bin2 }}}z", u"z");
}

// A count of zero (or none at all) takes no data: the byte after it is read as RTF again,
// so a brace or a control word there is not lost.
TEST(RtfReader, BinaryWithoutDataTakesNoByte) {
  ExpectText("{\\bin0 }x", u"x");
  ExpectText("\\bin0 \\par y", u"\ny");
  ExpectText("{\\bin}z", u"z");
}

// Hex escapes are read with their two digits: a damaged one in a skipped destination is
// dropped with it; one in the text ends the run, whatever byte follows the backslash.
TEST(RtfReader, HexEscapesAreReadWhole) {
  ExpectText("{\\fonttbl\\'}ok", u"ok");
  ExpectText("a\\'{b}", u"a", rtf::kInvalidHex);
}

TEST(RtfReader, PropertyWordsProduceNoText) {
  ExpectText("\\b bold\\b0  plain\\qc\\li720\\paperw12240 x", u"bold plainx");
  ExpectText("\\b-5 neg", u"neg");
}

TEST(RtfReader, EndOfInputInsideAState) {
  // Binary and hex states simply end with the input.
  ExpectText("\\bin10 abc", u"abc");
  ExpectText("ab\\'4", u"ab");
  ExpectText("{ab\\'4", u"ab", rtf::kUnmatchedBrace);
  ExpectText("ab\\", u"ab", rtf::kEndOfFile);
  ExpectText("ab\\b-", u"ab", rtf::kEndOfFile);
  // Letters running into the end are a complete word.
  ExpectText("ab\\par", u"ab\n");
}

TEST(RtfReader, GroupBalance) {
  ExpectText("{ok}}after", u"ok", rtf::kStackUnderflow);
  ExpectText("{ok", u"ok", rtf::kUnmatchedBrace);
  ExpectText("{{{}}}", u"", rtf::kOk);
}

TEST(RtfReader, TooManyOpenGroupsAreRefused) {
  std::string deep(rtf::kMaxGroupDepth, '{');
  deep += "x";
  ExpectText(deep, u"x", rtf::kUnmatchedBrace);
  deep += "{";
  ExpectText(deep, u"x", rtf::kStackOverflow);
}

TEST(RtfReader, OverlongKeywordsAndParametersStayBounded) {
  const std::string letters(200, 'q');
  ExpectText("\\" + letters + " x", u"x");
  ExpectText("{\\*\\" + letters + " hidden}x", u"x");
  // A word longer than the buffer never matches a table word by its prefix.
  ExpectText("\\par" + letters + " y", u"y");
  const std::string digits(200, '9');
  ExpectText("\\li" + digits + " z", u"z");
  ExpectText("\\b-" + digits + " z", u"z");
  // A huge binary count saturates and takes the rest of the input.
  ExpectText("\\bin" + digits + " }{\\", u"}{\\");
}

TEST(RtfReader, EveryRunStartsFresh) {
  // Left in a skipped destination with a group open.
  EXPECT_EQ(Convert("{\\fonttbl{\\f0 Arial;").result, rtf::kUnmatchedBrace);
  ExpectText("Hello", u"Hello");
  // Left in hex state.
  Convert("\\'4");
  ExpectText("41", u"41");
  // Left in binary state.
  Convert("\\bin100 ");
  ExpectText("a{b}c", u"abc");
  // Left with a pending "\*".
  Convert("{\\*");
  ExpectText("{\\b x}", u"x");
}

TEST(RtfReader, ReadsAnOpenFileToItsEnd) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
  ASSERT_TRUE(file);
  const std::string rtf = "{\\rtf1 From a file\\par}";
  std::fwrite(rtf.data(), 1, rtf.size(), file.get());
  std::rewind(file.get());
  std::u16string text = u"kept:";
  EXPECT_EQ(ConvertRtfToText(file.get(), text), rtf::kOk);
  EXPECT_EQ(text, u"kept:From a file\n");
}

}  // namespace
}  // namespace bm

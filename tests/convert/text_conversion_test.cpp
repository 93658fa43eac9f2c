// HTML and RTF bodies turned into plain text, and the component operations that do it on files.
#include <gtest/gtest.h>

#include <string>

#include "base/paths.h"
#include "base/text.h"
#include "msg/html_text.h"
#include "msg/mimelib.h"
#include "msg/rtf_text.h"
#include "preview/rtf_reader.h"
#include "support/test_support.h"

namespace bm {
namespace {

TEST(HtmlToText, BlocksBreakLinesAndScriptsAndStylesVanish) {
  const std::string html =
      "<html><head><title>T</title><style>p{color:red}</style></head><body>"
      "<script>alert('x')</script><h1>Heading</h1><p>First   paragraph\nwraps.</p>"
      "<div>Line one<br>Line two</div><ul><li>alpha</li><li>beta</li></ul></body></html>";
  EXPECT_EQ(HtmlToText(html),
            "Heading\n\nFirst paragraph wraps.\n\nLine one\nLine two\n\n* alpha\n* beta");
}

TEST(HtmlToText, EntitiesAreDecodedAndLinksKeepTheirTarget) {
  EXPECT_EQ(HtmlToText("<p>Fish &amp; chips &lt;3 &eacute;t&eacute; &#x4E2D;&nbsp;x</p>"),
            "Fish & chips <3 \xC3\xA9t\xC3\xA9 \xE4\xB8\xAD x");
  EXPECT_EQ(HtmlToText("<p>See <a href=\"https://example.org/a?b=1\">the page</a>.</p>"),
            "See the page <https://example.org/a?b=1>.");
  // A link that shows its own target, and in-page or script links, add nothing.
  EXPECT_EQ(HtmlToText("<a href=\"mailto:a@b.org\">a@b.org</a> <a href=\"#top\">top</a> "
                       "<a href=\"javascript:x()\">run</a>"),
            "a@b.org top run");
}

TEST(HtmlToText, TablesAndPreformattedText) {
  EXPECT_EQ(HtmlToText("<table><tr><td>a</td><td>b</td></tr><tr><th>c</th><td>d</td></tr></table>"
                       "<pre>  keep\n   this</pre>"),
            "a\tb\nc\td\n\n  keep\n   this");
}

TEST(HtmlToText, CharsetComesFromTheMetaTagOrTheByteOrderMark) {
  // "Grüße" in windows-1252 and in KOI8-R ("Привет").
  EXPECT_EQ(HtmlToText("<meta charset=\"windows-1252\"><p>Gr\xFC\xDF"
                       "e</p>"),
            "Gr\xC3\xBC\xC3\x9F"
            "e");
  EXPECT_EQ(HtmlToText("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=koi8-r\">"
                       "<p>\xF0\xD2\xC9\xD7\xC5\xD4</p>"),
            "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
  const std::string utf16le("\xFF\xFE<\0p\0>\0\xE9\0<\0/\0p\0>\0", 18);
  EXPECT_EQ(HtmlToText(utf16le), "\xC3\xA9");
  EXPECT_EQ(HtmlToText("\xEF\xBB\xBF<p>\xC3\xA9</p>"), "\xC3\xA9");
  // Undeclared bytes that are not UTF-8 are read as windows-1252.
  EXPECT_EQ(HtmlToText("<p>caf\xE9 \x80</p>"), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(DeclaredHtmlCharset("<META CONTENT='text/html; CHARSET=ISO-8859-2'>"), "iso-8859-2");
}

TEST(HtmlToText, HostileNestingStillGivesTheText) {
  std::string html = "<html><head><style>s{}</style></head><body>";
  for (int i = 0; i < 20000; ++i) html += "<table><tr><td>";
  html += "deep &amp; <script>drop()</script>text";
  EXPECT_EQ(HtmlToText(html), "deep & text");
}

TEST(RtfToText, ParagraphsTabsAndSkippedDestinations) {
  const std::string rtf =
      "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl;\\red255\\green0\\blue0;}"
      "{\\info{\\title Secret}}{\\*\\generator Writer;}\\pard Hello {\\b world}\\par\n"
      "a\\tab b\\line c{\\*\\unknowndest hidden}\\par}";
  EXPECT_EQ(RtfToText(rtf), "Hello world\na\tb\nc");
}

TEST(RtfToText, UnicodeEscapesSkipTheirFallbackCharacters) {
  EXPECT_EQ(RtfToText("{\\rtf1\\ansi \\u20013?\\u25991? \\uc2\\u-10179\\'3f\\'3f\\u-8704?"
                      "?!}"),
            "\xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80!");
  EXPECT_EQ(RtfToText("{\\rtf1\\ansi \\uc0\\u233 x}"), "\xC3\xA9x");
}

TEST(RtfToText, SurrogateHalvesWithoutPartnersAreMarkedNotDropped) {
  EXPECT_EQ(RtfToText("{\\rtf1 \\uc0\\u-10179 x}"), "\xEF\xBF\xBDx");
  EXPECT_EQ(RtfToText("{\\rtf1 \\uc0 a\\u-10179}"), "a\xEF\xBF\xBD");
  EXPECT_EQ(RtfToText("{\\rtf1 \\uc0\\u-8704 }"), "\xEF\xBF\xBD");
}

TEST(RtfToText, BinaryDataIsNeverReadAsRtf) {
  // Data after "\bin" in an ignorable destination stays data, even when it holds braces.
  EXPECT_EQ(RtfToText("{\\rtf1 {\\*\\bin2 }}hidden}ok}"), "ok");
  EXPECT_EQ(RtfToText("{\\rtf1 a\\bin5 {\\parb}"), "ab");
}

TEST(RtfToText, HexBytesUseTheDocumentAndFontCodePages) {
  EXPECT_EQ(RtfToText("{\\rtf1\\ansi\\ansicpg1252 caf\\'e9 \\'80}"), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(RtfToText("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}"), "\xD0\x9F\xD1\x80\xD0\xB8");
  // A Japanese font (charset 128, code page 932) decodes its double-byte pairs.
  EXPECT_EQ(
      RtfToText("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset128 MS Mincho;}}"
                "\\f0 A {\\f1 \\'93\\'fa\\'96\\'7b} \\'e9}"),
      "A \xE6\x97\xA5\xE6\x9C\xAC \xC3\xA9");
}

// Both readers take "\\'hh" from the same tokenizer: the component's decodes the bytes in the
// document's code page, the preview's keeps the bytes themselves for its byte-text file.
TEST(RtfToText, HexBytesReachBothReadersAlike) {
  const std::string rtf = "{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8 \\'80}";
  EXPECT_EQ(RtfToText(rtf), "\xD0\x9F\xD1\x80\xD0\xB8 \xD0\x82");
  std::u16string preview;
  ASSERT_EQ(ConvertRtfToText(
                std::span(reinterpret_cast<const std::uint8_t*>(rtf.data()), rtf.size()), preview),
            rtf::kOk);
  std::string bytes;
  for (const char16_t ch : preview) bytes.push_back(static_cast<char>(CharToCp1252(ch).value()));
  EXPECT_EQ(bytes, "\xCF\xF0\xE8 \x80");
}

TEST(RtfToText, EncapsulatedHtmlGivesTheTextOfThatHtml) {
  const std::string rtf =
      "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
      "{\\*\\htmltag19 <html>}{\\*\\htmltag34 <head><style>p{}</style></head>}"
      "{\\*\\htmltag50 <body>}\\htmlrtf {\\b RTF only}\\htmlrtf0 "
      "{\\*\\htmltag64 <p>}Caf\\'e9 &amp; more{\\*\\htmltag72 </p>}"
      "{\\*\\htmltag64 <p>}Second{\\*\\htmltag72 </p>}\\htmlrtf \\par \\htmlrtf0 "
      "{\\*\\htmltag58 </body>}}";
  const std::optional<std::string> html = ExtractRtfHtml(rtf);
  ASSERT_TRUE(html.has_value());
  EXPECT_NE(html->find("<p>Caf\xC3\xA9 &amp; more</p>"), std::string::npos) << *html;
  EXPECT_EQ(html->find("RTF only"), std::string::npos);
  EXPECT_EQ(RtfToText(rtf), "Caf\xC3\xA9 & more\n\nSecond");
  EXPECT_FALSE(ExtractRtfHtml("{\\rtf1\\ansi plain}").has_value());
}

TEST(RtfToText, MalformedInputEndsQuietly) {
  EXPECT_EQ(RtfToText("{\\rtf1 unterminated \\'e"), "unterminated");
  EXPECT_EQ(RtfToText("}}}{{\\"), "");
  EXPECT_EQ(RtfToText("{\\rtf1 a\\bin4 \x01\x02\x03\x04"
                      "b}"),
            "ab");
}

// Damaged or hostile bodies must give some text, never a crash or an endless loop.
TEST(TextConversion, ArbitraryBytesAreSurvived) {
  std::uint32_t seed = 7;
  const auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 16;
  };
  static const char* const kPieces[] = {"{",
                                        "}",
                                        "\\",
                                        "\\'",
                                        "\\u",
                                        "-5",
                                        "\\uc3 ",
                                        "\\bin9 ",
                                        "\\*",
                                        "\\fromhtml1 ",
                                        "\\htmlrtf",
                                        "\\fonttbl",
                                        "\\f1",
                                        "\\fcharset128 ",
                                        "<p>",
                                        "</",
                                        "<a href=",
                                        "&#x",
                                        "<meta charset=",
                                        "\xFF\xFE",
                                        "x"};
  for (int round = 0; round < 300; ++round) {
    std::string input;
    const unsigned length = next() % 200;
    for (unsigned i = 0; i < length; ++i) {
      if (next() % 3 == 0) {
        input.push_back(static_cast<char>(next()));
      } else {
        input += kPieces[next() % std::size(kPieces)];
      }
    }
    (void)RtfToText(input);
    (void)RtfToText("{\\rtf1\\fromhtml1 " + input);
    (void)HtmlToText(input);
  }
}

class BodyFileConversion : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Mimelib::Create(mimelib_), S_OK); }

  std::u16string Write(const std::string& name, const std::string& bytes) {
    const auto path = dir_.path() / name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return FromPath(path);
  }

  test::TempDir dir_;
  std::unique_ptr<Mimelib> mimelib_;
};

TEST_F(BodyFileConversion, ConvertsInPlaceWithWindowsLineEnds) {
  const std::u16string html = Write("Me0.html", "<p>one</p><p>two &amp; three</p>");
  EXPECT_EQ(mimelib_->ConvertHtmlBodyFile(html, html), S_OK);
  EXPECT_EQ(test::ReadFile(ToPath(html)), "one\r\n\r\ntwo & three");

  const std::u16string rtf = Write("Me1.txt", "{\\rtf1\\ansi a\\par b}");
  EXPECT_EQ(mimelib_->ConvertRtfBodyFile(rtf, rtf), S_OK);
  EXPECT_EQ(test::ReadFile(ToPath(rtf)), "a\r\nb");
}

TEST_F(BodyFileConversion, MissingSourceFailsAndWritesNothing) {
  const std::u16string missing = FromPath(dir_.path() / "absent.html");
  const std::u16string target = FromPath(dir_.path() / "out.txt");
  EXPECT_LT(mimelib_->ConvertHtmlBodyFile(missing, target), 0);
  EXPECT_LT(mimelib_->ConvertRtfBodyFile(missing, target), 0);
  EXPECT_FALSE(std::filesystem::exists(ToPath(target)));
}

}  // namespace
}  // namespace bm

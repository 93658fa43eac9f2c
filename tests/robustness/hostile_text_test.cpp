// Hostile HTML bodies through the text conversion: whatever the markup, the text is valid
// UTF-8 and carries nothing of the scripts.
#include <gtest/gtest.h>

#include <glib.h>

#include <string>

#include "msg/html_text.h"
#include "support/test_support.h"

namespace bm::robust {
namespace {

bool ValidUtf8(const std::string& text) {
  return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr) != 0;
}

TEST(HostileHtml, ScriptsStyleAndEventHandlersLeaveNoText) {
  const std::string text = HtmlToText(
      "<html><head><script>steal()</script><style>p{x:1}</style></head>"
      "<body onload=\"boom()\"><p>Visible</p><script>alert(1)</script>"
      "<img src=\"http://attacker.invalid/t.gif\" onerror=\"alert(2)\"></body></html>");
  EXPECT_NE(text.find("Visible"), std::string::npos);
  for (const char* hidden : {"steal", "alert", "boom", "x:1"}) {
    EXPECT_EQ(text.find(hidden), std::string::npos) << hidden;
  }
}

// The HTML parser turns a numeric character reference too large for any code point into an
// invalid byte sequence instead of U+FFFD (found by html_text_fuzzer).
TEST(HostileHtml, OverflowingCharacterReferencesGiveValidText) {
  for (const char* html : {"<p>&#x1F60ECCCCCCCCCCCCCCCC;</p>", "<p>&#99999999999999;</p>",
                           "<p>&#3000000000;</p>", "<p>&#x110000;</p>"}) {
    EXPECT_TRUE(ValidUtf8(HtmlToText(html))) << html;
    EXPECT_TRUE(ValidUtf8(HtmlToUtf8(html))) << html;
  }
}

// Character references for CR survive the parser's line-end normalisation: preformatted text
// keeps them as line ends, which must still be LF alone, and a link's address loses them as a
// browser's would (found by html_text_fuzzer).
TEST(HostileHtml, CarriageReturnReferencesInPreformattedTextEndLinesWithLf) {
  EXPECT_EQ(HtmlToText("<pre>a&#xd;b&#13;&#10;c&#xd>d</pre>"), "a\nb\nc\n>d");
  EXPECT_EQ(HtmlToText("<p><a href=\"http://x.invalid/a&#xd;&#10;b\">go</a></p>"),
            "go <http://x.invalid/ab>");
}

// An 8-bit document that declares a UTF-16 charset in a meta tag (Outlook writes
// "charset=unicode") must not be read as UTF-16, which would turn its text, scripts included,
// into CJK noise: only a byte-order mark establishes UTF-16 (found by html_text_fuzzer).
TEST(HostileHtml, MetaDeclaringUtf16InAn8BitDocumentIsNotReadAsUtf16) {
  for (const char* html :
       {"<html><head><meta charset=\"utf-16le\"><script>steal()</script></head>"
        "<body><p>Hello world</p></body></html>",
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=unicode\">"
        "</head><body><p>Hello world</p></body></html>"}) {
    const std::string text = HtmlToText(html);
    EXPECT_NE(text.find("Hello world"), std::string::npos) << html;
    EXPECT_EQ(text.find("steal"), std::string::npos) << html;
  }
}

}  // namespace
}  // namespace bm::robust

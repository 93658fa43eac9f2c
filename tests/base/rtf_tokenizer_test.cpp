// The RTF tokenizer both RTF readers stand on: how it cuts RTF into tokens, what it does with
// Unicode escapes and their fallbacks, and that damaged input ends cleanly.
#include "base/rtf_tokenizer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace bm::rtf {
namespace {

// Each token as a short text, so a whole stream compares in one line: "{", "}", "\word7",
// "\sym~", "'e9", "text:abc", "bin:abc", "u+4E2D", with "!" for a truncated and "?" for a
// bad-hex token, "^" for a group start and "*" for an ignorable word.
std::string Describe(const Token& token) {
  std::string out;
  switch (token.kind) {
    case TokenKind::kEnd:
      return "end";
    case TokenKind::kGroupOpen:
      out = "{";
      break;
    case TokenKind::kGroupClose:
      out = "}";
      break;
    case TokenKind::kWord:
      out = "\\" + std::string(token.word);
      if (token.has_parameter) out += std::to_string(token.parameter);
      break;
    case TokenKind::kSymbol:
      out = "\\sym" + std::string(token.word);
      break;
    case TokenKind::kHexByte: {
      static const char* const kDigits = "0123456789abcdef";
      out = std::string("'") + kDigits[token.byte >> 4] + kDigits[token.byte & 15];
      break;
    }
    case TokenKind::kText:
      out = "text:" + std::string(token.bytes.begin(), token.bytes.end());
      break;
    case TokenKind::kBinary:
      out = "bin:" + std::string(token.bytes.begin(), token.bytes.end());
      break;
    case TokenKind::kUnicode: {
      char hex[16];
      std::snprintf(hex, sizeof hex, "u+%04X", static_cast<unsigned>(token.unit));
      out = hex;
      break;
    }
  }
  if (token.fault == Fault::kTruncated) out += "!";
  if (token.fault == Fault::kBadHex) out += "?";
  if (token.group_start) out += "^";
  if (token.ignorable) out += "*";
  return out;
}

std::vector<std::string> Tokens(std::string_view rtf, Options options = {}) {
  Tokenizer tokenizer(rtf, options);
  std::vector<std::string> out;
  for (Token token = tokenizer.Next(); token.kind != TokenKind::kEnd; token = tokenizer.Next()) {
    out.push_back(Describe(token));
    if (out.size() > 10000) break;  // a tokenizer that stops advancing fails here, not hangs
  }
  EXPECT_EQ(tokenizer.Next().kind, TokenKind::kEnd) << "the end repeats";
  return out;
}

using Strings = std::vector<std::string>;

TEST(RtfTokenizer, GroupsWordsSymbolsAndText) {
  EXPECT_EQ(Tokens("{\\rtf1\\ansi Hello {\\b bold}\\par\r\nnext}"),
            (Strings{"{", "\\rtf1^", "\\ansi", "text:Hello ", "{", "\\b^", "text:bold", "}",
                     "\\par", "text:next", "}"}));
  // The blank after a word belongs to it; a second blank is text. Other delimiters stay.
  EXPECT_EQ(Tokens("\\b  x\\i;y"), (Strings{"\\b", "text: x", "\\i", "text:;y"}));
  // Signed parameters; digits that overflow saturate instead of wrapping.
  EXPECT_EQ(Tokens("\\li-720\\fs24 \\x99999999999 "),
            (Strings{"\\li-720", "\\fs24", "\\x2147483647"}));
  // A sign without digits is dropped; the byte after it is read again.
  EXPECT_EQ(Tokens("\\b-x"), (Strings{"\\b", "text:x"}));
  // Control symbols, a zero byte included.
  EXPECT_EQ(Tokens(std::string_view("\\{\\}\\\\\\~\\\0", 10)),
            (Strings{"\\sym{", "\\sym}", "\\sym\\", "\\sym~", std::string("\\sym\0", 5)}));
  // Line ends between tokens are no text; a backslash before one is a symbol.
  EXPECT_EQ(Tokens("a\r\nb\\\nc"), (Strings{"text:a", "text:b", "\\sym\n", "text:c"}));
}

TEST(RtfTokenizer, IgnorableDestinationsAreMarkedOnlyAtTheirGroupsStart) {
  EXPECT_EQ(Tokens("{\\*\\generator x;}"),
            (Strings{"{", "\\sym*^", "\\generator^*", "text:x;", "}"}));
  // "\*" elsewhere marks nothing.
  EXPECT_EQ(Tokens("{a\\*\\foo}"), (Strings{"{", "text:a^", "\\sym*", "\\foo", "}"}));
  EXPECT_EQ(Tokens("{\r\n\\fonttbl}"), (Strings{"{", "\\fonttbl^", "}"}));
}

TEST(RtfTokenizer, HexBytes) {
  EXPECT_EQ(Tokens("\\'41\\'e9\\'FF"), (Strings{"'41", "'e9", "'ff"}));
  // A byte that is not a hexadecimal digit is not taken: it is read again as what it is.
  EXPECT_EQ(Tokens("\\'4g"), (Strings{"'00?", "text:g"}));
  EXPECT_EQ(Tokens("{\\'}"), (Strings{"{", "'00?^", "}"}));
  // Cut off by the end of the input.
  EXPECT_EQ(Tokens("ab\\'4"), (Strings{"text:ab", "'00!"}));
  EXPECT_EQ(Tokens("\\'"), (Strings{"'00!"}));
}

TEST(RtfTokenizer, BinaryDataIsNeverReadAsRtf) {
  EXPECT_EQ(Tokens("\\bin4 {}\\\nz"), (Strings{"\\bin4", "bin:{}\\\n", "text:z"}));
  // No data for a zero, negative or missing count.
  EXPECT_EQ(Tokens("\\bin0 }"), (Strings{"\\bin0", "bin:", "}"}));
  EXPECT_EQ(Tokens("\\bin-3 }"), (Strings{"\\bin-3", "bin:", "}"}));
  EXPECT_EQ(Tokens("\\bin x"), (Strings{"\\bin", "bin:", "text:x"}));
  // A count beyond the input takes what there is and says so.
  EXPECT_EQ(Tokens("\\bin99 ab"), (Strings{"\\bin99", "bin:ab!"}));
  // A reader may set its own count before asking for the data.
  Tokenizer tokenizer("\\bin-2 }}x");
  EXPECT_EQ(Describe(tokenizer.Next()), "\\bin-2");
  tokenizer.SetBinaryLength(2);
  EXPECT_EQ(Describe(tokenizer.Next()), "bin:}}");
  EXPECT_EQ(Describe(tokenizer.Next()), "text:x");
}

TEST(RtfTokenizer, UnicodeEscapesDropTheirFallback) {
  const Options unicode{.unicode = true};
  // One fallback character by default: a text byte, a hex byte or a whole word.
  EXPECT_EQ(Tokens("\\u20013?x\\u233\\'e9y\\u8212\\emdash z", unicode),
            (Strings{"u+4E2D", "text:x", "u+00E9", "text:y", "u+2014", "text:z"}));
  // "\ucN" sets the count for its group only; negative values are N + 65536.
  EXPECT_EQ(Tokens("{\\uc2\\u-10179\\'3f\\'3fa}\\u-8704?b", unicode),
            (Strings{"{", "\\uc2^", "u+D83D", "text:a", "}", "u+DE00", "text:b"}));
  EXPECT_EQ(Tokens("\\uc0\\u233 x", unicode), (Strings{"\\uc0", "u+00E9", "text:x"}));
  // The end of a group ends the fallback.
  EXPECT_EQ(Tokens("{\\uc3\\u233 a}b", unicode), (Strings{"{", "\\uc3^", "u+00E9", "}", "text:b"}));
  // A damaged count is bounded, so the text after it still shows.
  EXPECT_EQ(Tokens("\\uc1000000\\u233 abcdefghijk", unicode),
            (Strings{"\\uc1000000", "u+00E9", "text:ijk"}));
  // A dropped "\bin" takes its data with it.
  EXPECT_EQ(Tokens("\\u233\\bin2 {}x", unicode), (Strings{"u+00E9", "text:x"}));
  // Values that name no character.
  EXPECT_EQ(Tokens("\\uc0\\u-99999 \\u1114112 ", unicode), (Strings{"\\uc0", "u+FFFD", "u+FFFD"}));
  // Without the option "\u" is a word like any other.
  EXPECT_EQ(Tokens("\\u233?"), (Strings{"\\u233", "text:?"}));
}

TEST(RtfTokenizer, SurrogateHalvesAreJoinedOrMarked) {
  const auto join = [](std::vector<char32_t> units) {
    SurrogateJoiner joiner;
    std::string out;
    for (const char32_t unit : units) joiner.Add(unit, out);
    joiner.Flush(out);
    return out;
  };
  EXPECT_EQ(join({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");
  EXPECT_EQ(join({0xD83D, u'x'}), "\xEF\xBF\xBDx");  // a lone high half is not dropped
  EXPECT_EQ(join({0xDE00}), "\xEF\xBF\xBD");
  EXPECT_EQ(join({0xD83D, 0xD83D, 0xDE00}), "\xEF\xBF\xBD\xF0\x9F\x98\x80");
  EXPECT_EQ(join({0xD83D}), "\xEF\xBF\xBD");
}

TEST(RtfTokenizer, DamagedInputEndsCleanly) {
  EXPECT_EQ(Tokens("ab\\"), (Strings{"text:ab", "\\sym!"}));
  EXPECT_EQ(Tokens("ab\\b-"), (Strings{"text:ab", "\\b!"}));
  // Letters running into the end make a whole word.
  EXPECT_EQ(Tokens("ab\\par"), (Strings{"text:ab", "\\par"}));
  // Unbalanced braces are the readers' business: the tokenizer reports them as they come.
  EXPECT_EQ(Tokens("}}{"), (Strings{"}", "}", "{"}));
  EXPECT_EQ(Tokens("}\\u233}", {.unicode = true}), (Strings{"}", "u+00E9", "}"}));
  // Every prefix of a busy document tokenizes and ends.
  const std::string rtf =
      "{\\rtf1{\\*\\x y}\\uc2\\u-10179\\'3f\\'3f\\bin3 a{}\\'e9\\'4g\\b-1 z\\~}";
  for (std::size_t length = 0; length <= rtf.size(); ++length) {
    for (const bool unicode : {false, true}) {
      Tokenizer tokenizer(std::string_view(rtf).substr(0, length), {.unicode = unicode});
      std::size_t count = 0;
      while (tokenizer.Next().kind != TokenKind::kEnd) ASSERT_LT(++count, rtf.size() + 2);
    }
  }
}

}  // namespace
}  // namespace bm::rtf

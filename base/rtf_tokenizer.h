// The RTF tokenizer both RTF readers are built on: it cuts RTF bytes into groups, control
// words with their parameters, control symbols, "\'hh" bytes, literal text and "\bin" data,
// and, when asked, turns "\uN" into a character and drops the fallback that follows it.
// It knows no destination tables and produces no text: readers decide what a token means.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bm::rtf {

enum class TokenKind {
  kEnd,         // no more input
  kGroupOpen,   // "{"
  kGroupClose,  // "}"
  kWord,        // "\" letters [ "-" ] [ digits ]; one delimiting blank is part of it
  kSymbol,      // "\" and one byte that is neither a letter nor "'"
  kHexByte,     // "\'" and two hexadecimal digits
  kText,        // a run of bytes that are none of "{", "}", "\", CR and LF
  kBinary,      // the data bytes that follow "\binN"
  kUnicode,     // "\uN" (only with Options::unicode): one UTF-16 unit, fallback dropped
};

// How a token was cut short. Readers differ in what they make of it.
enum class Fault {
  kNone,
  kTruncated,  // the input ended inside the token ("\" at the end, "\word-", "\'4", "\bin9 ab")
  kBadHex,     // "\'" not followed by two hexadecimal digits; the digit-less byte is not taken
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  Fault fault = Fault::kNone;
  // kWord: the letters; kSymbol: the one byte (a zero byte included).
  std::string_view word;
  bool has_parameter = false;
  // The signed parameter, saturated to the 32-bit range.
  std::int32_t parameter = 0;
  // The parameter's digits without the sign (what a word's magnitude is), saturated.
  std::int32_t magnitude = 0;
  // kHexByte: the byte (0 when faulty); kSymbol: the byte after the backslash.
  std::uint8_t byte = 0;
  // kUnicode: the character; values that name no character become U+FFFD.
  char32_t unit = 0;
  // kText and kBinary: the bytes.
  std::span<const std::uint8_t> bytes;
  // The first token of its group, or the first after the group's leading "\*".
  bool group_start = false;
  // A word that directly follows a group's leading "\*" (an ignorable destination).
  bool ignorable = false;
};

struct Options {
  // "\uN" gives kUnicode tokens and the next N characters (set by "\ucN", per group) are
  // dropped as the fallback for readers without Unicode. Off: "\u" is a word like any other.
  bool unicode = false;
};

// The fallback length "\ucN" can set. Real documents use 0 to 2; the bound keeps a damaged
// value from hiding the text that follows.
inline constexpr int kMaxUnicodeSkip = 8;

class Tokenizer {
 public:
  explicit Tokenizer(std::span<const std::uint8_t> input, Options options = {});
  explicit Tokenizer(std::string_view input, Options options = {});

  // The next token; kEnd (again and again) once the input is used up. Raw CR and LF bytes
  // between tokens are dropped: RTF writers break lines where they like.
  Token Next();

  // After a "\bin" word: how many bytes the next kBinary token takes. By default the word's
  // own parameter (none or negative: no data); a reader with its own rule sets it here.
  void SetBinaryLength(std::size_t length) { binary_length_ = length; }

 private:
  Token Raw();
  Token ReadControl();
  Token ReadWord(std::size_t start);
  Token ReadHex();
  Token ReadText();
  Token SkipFallback(Token token);
  void Track(const Token& token);
  bool AtEnd() const { return position_ >= input_.size(); }

  std::span<const std::uint8_t> input_;
  Options options_;
  std::size_t position_ = 0;
  std::size_t binary_length_ = 0;
  bool binary_pending_ = false;
  bool group_started_ = false;  // the last token opened a group (or was its leading "\*")
  bool star_seen_ = false;      // the group's leading "\*" was just read
  // Unicode handling: the fallback length of each open group, and how much is left to drop.
  int unicode_skip_ = 1;
  std::vector<int> unicode_skips_;
  int fallback_left_ = 0;
};

// Joins the UTF-16 units of kUnicode tokens into characters, as UTF-8: a high surrogate waits
// for its low half; a half without its partner becomes U+FFFD, never silently dropped.
class SurrogateJoiner {
 public:
  void Add(char32_t unit, std::string& out);
  // Call before any other text is added: a high half still waiting becomes U+FFFD.
  void Flush(std::string& out);

 private:
  char32_t high_ = 0;
};

}  // namespace bm::rtf

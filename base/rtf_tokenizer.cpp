#include "base/rtf_tokenizer.h"

#include <algorithm>
#include <limits>

#include "base/text.h"

namespace bm::rtf {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsLetter(std::uint8_t ch) {
  return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}
bool IsDigit(std::uint8_t ch) {
  return ch >= '0' && ch <= '9';
}
bool IsLineEnd(std::uint8_t ch) {
  return ch == '\r' || ch == '\n';
}

int HexDigitValue(std::uint8_t ch) {
  if (IsDigit(ch)) return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

// "\uN" is a signed 16-bit value in practice: negative values stand for N + 65536.
char32_t UnicodeUnit(std::int32_t parameter) {
  const std::int64_t value = parameter < 0 ? std::int64_t{parameter} + 65536 : parameter;
  if (value < 0 || value > 0x10FFFF) return kReplacement;
  return static_cast<char32_t>(value);
}

}  // namespace

Tokenizer::Tokenizer(std::span<const std::uint8_t> input, Options options)
    : input_(input), options_(options) {}

Tokenizer::Tokenizer(std::string_view input, Options options)
    : Tokenizer(std::span(reinterpret_cast<const std::uint8_t*>(input.data()), input.size()),
                options) {}

Token Tokenizer::Next() {
  Token token = Raw();
  if (!options_.unicode) return token;
  if (fallback_left_ > 0) token = SkipFallback(token);
  Track(token);
  return token;
}

// Drops the fallback of the last "\uN": each text byte, "\'hh", symbol and word counts as one
// character (a "\bin" word with its data too); a group's end stops the dropping.
Token Tokenizer::SkipFallback(Token token) {
  while (fallback_left_ > 0) {
    switch (token.kind) {
      case TokenKind::kEnd:
      case TokenKind::kGroupOpen:
        return token;
      case TokenKind::kGroupClose:
        fallback_left_ = 0;
        return token;
      case TokenKind::kText: {
        const std::size_t dropped =
            std::min(token.bytes.size(), static_cast<std::size_t>(fallback_left_));
        fallback_left_ -= static_cast<int>(dropped);
        if (dropped < token.bytes.size()) {
          token.bytes = token.bytes.subspan(dropped);
          token.group_start = false;
          return token;
        }
        break;
      }
      case TokenKind::kBinary:
        break;  // belongs to the "\bin" word already counted
      case TokenKind::kWord:
      case TokenKind::kSymbol:
      case TokenKind::kHexByte:
      case TokenKind::kUnicode:
        --fallback_left_;
        break;
    }
    token = Raw();
  }
  // The data of a dropped "\bin" is dropped with it.
  while (token.kind == TokenKind::kBinary) token = Raw();
  return token;
}

// Unicode bookkeeping on the tokens a reader sees: "\ucN" per group, "\uN" to kUnicode.
void Tokenizer::Track(const Token& token) {
  switch (token.kind) {
    case TokenKind::kGroupOpen:
      unicode_skips_.push_back(unicode_skip_);
      return;
    case TokenKind::kGroupClose:
      if (!unicode_skips_.empty()) {
        unicode_skip_ = unicode_skips_.back();
        unicode_skips_.pop_back();
      }
      return;
    case TokenKind::kWord:
      if (token.word == "uc") {
        unicode_skip_ = std::clamp(token.has_parameter ? token.parameter : 0, 0, kMaxUnicodeSkip);
      }
      return;
    case TokenKind::kUnicode:
      fallback_left_ = unicode_skip_;
      return;
    default:
      return;
  }
}

Token Tokenizer::Raw() {
  if (binary_pending_) {
    binary_pending_ = false;
    Token token;
    token.kind = TokenKind::kBinary;
    const std::size_t available = input_.size() - position_;
    const std::size_t length = std::min(binary_length_, available);
    if (length < binary_length_) token.fault = Fault::kTruncated;
    token.bytes = input_.subspan(position_, length);
    position_ += length;
    group_started_ = false;
    return token;
  }
  while (!AtEnd() && IsLineEnd(input_[position_])) ++position_;
  const bool group_start = group_started_;
  const bool ignorable_place = star_seen_;
  group_started_ = false;
  star_seen_ = false;
  if (AtEnd()) return Token{};

  Token token;
  switch (input_[position_]) {
    case '{':
      ++position_;
      token.kind = TokenKind::kGroupOpen;
      group_started_ = true;
      return token;
    case '}':
      ++position_;
      token.kind = TokenKind::kGroupClose;
      return token;
    case '\\':
      token = ReadControl();
      break;
    default:
      token = ReadText();
      break;
  }
  token.group_start = group_start;
  if (token.kind == TokenKind::kWord) token.ignorable = ignorable_place;
  if (group_start && token.kind == TokenKind::kSymbol && token.byte == '*') {
    // "{\*" marks the group as an ignorable destination: its word still starts the group.
    group_started_ = true;
    star_seen_ = true;
  }
  if (token.kind == TokenKind::kWord && token.word == "bin") {
    binary_pending_ = true;
    binary_length_ = token.has_parameter && token.parameter > 0
                         ? static_cast<std::size_t>(token.parameter)
                         : std::size_t{0};
  }
  if (options_.unicode && token.kind == TokenKind::kWord && token.word == "u" &&
      token.has_parameter) {
    token.kind = TokenKind::kUnicode;
    token.unit = UnicodeUnit(token.parameter);
  }
  return token;
}

Token Tokenizer::ReadControl() {
  const std::size_t start = position_++;  // the backslash
  Token token;
  token.kind = TokenKind::kSymbol;
  if (AtEnd()) {
    token.fault = Fault::kTruncated;
    return token;
  }
  const std::uint8_t ch = input_[position_];
  if (IsLetter(ch)) return ReadWord(start);
  if (ch == '\'') {
    ++position_;
    return ReadHex();
  }
  ++position_;
  token.byte = ch;
  token.word = std::string_view(reinterpret_cast<const char*>(&input_[position_ - 1]), 1);
  return token;
}

Token Tokenizer::ReadWord(std::size_t start) {
  Token token;
  token.kind = TokenKind::kWord;
  const std::size_t letters = start + 1;
  while (!AtEnd() && IsLetter(input_[position_])) ++position_;
  token.word =
      std::string_view(reinterpret_cast<const char*>(&input_[letters]), position_ - letters);

  // A "-" after the letters is the parameter's sign; without digits after it, it is dropped.
  bool negative = false;
  if (!AtEnd() && input_[position_] == '-') {
    negative = true;
    ++position_;
    if (AtEnd()) {
      token.fault = Fault::kTruncated;
      return token;
    }
  }
  if (!AtEnd() && IsDigit(input_[position_])) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    for (; !AtEnd() && IsDigit(input_[position_]); ++position_) {
      value = std::min<std::int64_t>(value * 10 + (input_[position_] - '0'), kMax);
    }
    token.has_parameter = true;
    token.magnitude = static_cast<std::int32_t>(value);
    token.parameter = negative ? -token.magnitude : token.magnitude;
  }
  if (!AtEnd() && input_[position_] == ' ') ++position_;  // the delimiting blank
  return token;
}

Token Tokenizer::ReadHex() {
  Token token;
  token.kind = TokenKind::kHexByte;
  int value = 0;
  for (int digit = 0; digit < 2; ++digit) {
    if (AtEnd()) {
      token.fault = Fault::kTruncated;
      return token;
    }
    const int digit_value = HexDigitValue(input_[position_]);
    if (digit_value < 0) {
      token.fault = Fault::kBadHex;
      return token;
    }
    value = value * 16 + digit_value;
    ++position_;
  }
  token.byte = static_cast<std::uint8_t>(value);
  return token;
}

Token Tokenizer::ReadText() {
  Token token;
  token.kind = TokenKind::kText;
  const std::size_t start = position_;
  while (!AtEnd()) {
    const std::uint8_t ch = input_[position_];
    if (ch == '{' || ch == '}' || ch == '\\' || IsLineEnd(ch)) break;
    ++position_;
  }
  token.bytes = input_.subspan(start, position_ - start);
  return token;
}

void SurrogateJoiner::Add(char32_t unit, std::string& out) {
  if (IsHighSurrogate(unit)) {
    Flush(out);
    high_ = unit;
    return;
  }
  if (IsLowSurrogate(unit) && high_ != 0) {
    AppendUtf8(out, JoinSurrogates(high_, unit));
    high_ = 0;
    return;
  }
  Flush(out);
  AppendUtf8(out, unit);  // a lone low half becomes U+FFFD there
}

void SurrogateJoiner::Flush(std::string& out) {
  if (high_ == 0) return;
  AppendUtf8(out, kReplacement);
  high_ = 0;
}

}  // namespace bm::rtf

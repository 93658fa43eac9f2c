#include "preview/rtf_reader.h"

#include <algorithm>
#include <array>
#include <limits>
#include <new>
#include <string_view>
#include <vector>

#include "preview/cp1252.h"

namespace bm {

namespace {

constexpr int kEnd = -1;

enum class Destination { kNormal, kSkip };
enum class InputState { kNormal, kBinary, kHex };

// Formatting properties the property words store into. Nothing reads them back, so they never
// change the text; they are kept so every word of the table does what its row says.
enum Property : int {
  kBold,
  kUnderline,
  kItalic,
  kLeftIndent,
  kRightIndent,
  kFirstIndent,
  kColumns,
  kSectionBreak,
  kPageNumberX,
  kPageNumberY,
  kPageNumberFormat,
  kJustification,
  kPaperWidth,
  kPaperHeight,
  kMarginLeft,
  kMarginRight,
  kMarginTop,
  kMarginBottom,
  kPageNumberStart,
  kFacingPages,
  kLandscape,
  kPropertyCount
};
using Properties = std::array<std::int32_t, kPropertyCount>;

enum class Kind { kCharacter, kDestination, kProperty, kSpecial };
enum Special : int { kBinary, kSkipDestination, kHex };

struct KeywordRow {
  std::string_view keyword;
  std::int32_t default_value;
  bool fixed;  // the default is used even when the word has a parameter
  Kind kind;
  int target;  // the character, the property or the special action
};

constexpr KeywordRow Prop(std::string_view word, std::int32_t value, bool fixed, Property p) {
  return {word, value, fixed, Kind::kProperty, p};
}
constexpr KeywordRow Char(std::string_view word, char ch) {
  return {word, 0, false, Kind::kCharacter, static_cast<unsigned char>(ch)};
}
constexpr KeywordRow SpecialRow(std::string_view word, Special s) {
  return {word, 0, false, Kind::kSpecial, s};
}
constexpr KeywordRow Dest(std::string_view word) {
  return {word, 0, false, Kind::kDestination, 0};
}

// Searched in order; the empty keyword is what "\" followed by a zero byte reads as.
constexpr std::array<KeywordRow, 77> kKeywords = {{
    Prop("b", 1, false, kBold),
    Prop("u", 1, false, kUnderline),
    Prop("i", 1, false, kItalic),
    Prop("li", 0, false, kLeftIndent),
    Prop("ri", 0, false, kRightIndent),
    Prop("fi", 0, false, kFirstIndent),
    Prop("cols", 1, false, kColumns),
    Prop("sbknone", 0, true, kSectionBreak),
    Prop("sbkcol", 1, true, kSectionBreak),
    Prop("sbkeven", 2, true, kSectionBreak),
    Prop("sbkodd", 3, true, kSectionBreak),
    Prop("sbkpage", 4, true, kSectionBreak),
    Prop("pgnx", 0, false, kPageNumberX),
    Prop("pgny", 0, false, kPageNumberY),
    Prop("pgndec", 0, true, kPageNumberFormat),
    Prop("pgnucrm", 1, true, kPageNumberFormat),
    Prop("pgnlcrm", 2, true, kPageNumberFormat),
    Prop("pgnucltr", 3, true, kPageNumberFormat),
    Prop("pgnlcltr", 4, true, kPageNumberFormat),
    Prop("qc", 2, true, kJustification),
    Prop("ql", 0, true, kJustification),
    Prop("qr", 1, true, kJustification),
    Prop("qj", 3, true, kJustification),
    Prop("paperw", 12240, false, kPaperWidth),
    Prop("paperh", 15480, false, kPaperHeight),
    Prop("margl", 1800, false, kMarginLeft),
    Prop("margr", 1800, false, kMarginRight),
    Prop("margt", 1440, false, kMarginTop),
    Prop("margb", 1440, false, kMarginBottom),
    Prop("pgnstart", 1, true, kPageNumberStart),
    Prop("facingp", 1, true, kFacingPages),
    Prop("landscape", 1, true, kLandscape),
    Char("par", '\n'),
    Char("", '\n'),
    Char("", '\n'),
    Char("tab", '\t'),
    Char("ldblquote", '"'),
    Char("rdblquote", '"'),
    SpecialRow("bin", kBinary),
    SpecialRow("*", kSkipDestination),
    SpecialRow("'", kHex),
    Dest("author"),
    Dest("buptim"),
    Dest("colortbl"),
    Dest("comment"),
    Dest("creatim"),
    Dest("doccomm"),
    Dest("fonttbl"),
    Dest("footer"),
    Dest("footerf"),
    Dest("footerl"),
    Dest("footerr"),
    Dest("footnote"),
    Dest("ftncn"),
    Dest("ftnsep"),
    Dest("ftnsepc"),
    Dest("header"),
    Dest("headerf"),
    Dest("headerl"),
    Dest("headerr"),
    Dest("info"),
    Dest("keywords"),
    Dest("operator"),
    Dest("pict"),
    Dest("printim"),
    Dest("private1"),
    Dest("revtim"),
    Dest("rxe"),
    Dest("stylesheet"),
    Dest("subject"),
    Dest("tc"),
    Dest("title"),
    Dest("txe"),
    Dest("xe"),
    Char("{", '{'),
    Char("}", '}'),
    Char("\\", '\\'),
}};

const KeywordRow* FindKeyword(std::string_view keyword) {
  const auto it = std::find_if(kKeywords.begin(), kKeywords.end(),
                               [keyword](const KeywordRow& row) { return row.keyword == keyword; });
  return it == kKeywords.end() ? nullptr : &*it;
}

// A fixed buffer of Capacity bytes including room for a terminator, as the reader has always
// held keywords (32) and parameters (20). Bytes beyond it are dropped, never written past it.
template <std::size_t Capacity>
class BoundedToken {
 public:
  void Push(char ch) {
    if (size_ + 1 < Capacity) bytes_[size_++] = ch;
  }
  std::string_view View() const { return {bytes_.data(), size_}; }

 private:
  std::array<char, Capacity> bytes_{};
  std::size_t size_ = 0;
};

bool IsLetter(int ch) {
  return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}
bool IsDigit(int ch) {
  return ch >= '0' && ch <= '9';
}

int HexDigitValue(int ch) {
  if (IsDigit(ch)) return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

// The decimal value of a parameter's digits; saturates rather than overflowing.
std::int32_t DigitsValue(std::string_view digits) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  std::int64_t value = 0;
  for (char d : digits) value = std::min<std::int64_t>(value * 10 + (d - '0'), kMax);
  return static_cast<std::int32_t>(value);
}

// What a group restores when it closes.
struct SaveRecord {
  Properties properties;
  Destination destination;
  InputState input;
};

// One run of the reader. Its state lives here and starts fresh, so a body that ends in the
// middle of a skipped destination, a hex escape, binary data or an open group cannot affect
// the next body.
class RtfReader {
 public:
  RtfReader(std::span<const std::uint8_t> input, std::u16string& text)
      : input_(input), text_(text) {}

  int Run() {
    for (int ch = Get(); ch != kEnd; ch = Get()) {
      const int result = ReadByte(ch);
      if (result != rtf::kOk) return result;
    }
    return saves_.empty() ? rtf::kOk : rtf::kUnmatchedBrace;
  }

 private:
  int Get() { return position_ < input_.size() ? input_[position_++] : kEnd; }
  void Unget() { --position_; }

  int ReadByte(int ch) {
    if (input_state_ == InputState::kBinary) {
      AppendChar(static_cast<std::uint8_t>(ch));
      return rtf::kOk;
    }
    switch (ch) {
      case '{':
        return PushGroup();
      case '}':
        return PopGroup();
      case '\\':
        return ReadControlWord();
      case '\r':
      case '\n':
        return rtf::kOk;
      default:
        return ReadDataByte(static_cast<std::uint8_t>(ch));
    }
  }

  int ReadDataByte(std::uint8_t byte) {
    switch (input_state_) {
      case InputState::kNormal:
        AppendChar(byte);
        return rtf::kOk;
      case InputState::kHex:
        return ReadHexDigit(byte);
      case InputState::kBinary:
        break;
    }
    return rtf::kAssertion;
  }

  int ReadHexDigit(std::uint8_t byte) {
    const int digit = HexDigitValue(byte);
    if (digit < 0) return rtf::kInvalidHex;
    hex_value_ = hex_value_ * 16 + digit;
    if (--hex_digits_left_ == 0) {
      AppendChar(static_cast<std::uint8_t>(hex_value_));
      input_state_ = InputState::kNormal;
      hex_digits_left_ = 2;
      hex_value_ = 0;
    }
    return rtf::kOk;
  }

  // A data byte or a character word: counts down binary data, appends unless skipping.
  void AppendChar(std::uint8_t byte) {
    if (input_state_ == InputState::kBinary && --binary_bytes_left_ <= 0) {
      input_state_ = InputState::kNormal;
    }
    if (destination_ == Destination::kNormal) text_.push_back(Cp1252ToChar(byte));
  }

  int PushGroup() {
    if (saves_.size() >= rtf::kMaxGroupDepth) return rtf::kStackOverflow;
    try {
      saves_.push_back({properties_, destination_, input_state_});
    } catch (const std::bad_alloc&) {
      return rtf::kStackOverflow;
    }
    input_state_ = InputState::kNormal;
    return rtf::kOk;
  }

  int PopGroup() {
    if (saves_.empty()) return rtf::kStackUnderflow;
    const SaveRecord& top = saves_.back();
    properties_ = top.properties;
    destination_ = top.destination;
    input_state_ = top.input;
    saves_.pop_back();
    return rtf::kOk;
  }

  int ReadControlWord() {
    int ch = Get();
    if (ch == kEnd) return rtf::kEndOfFile;
    BoundedToken<32> keyword;
    if (!IsLetter(ch)) {
      // A control symbol: the one byte is the keyword (a zero byte leaves it empty).
      if (ch != 0) keyword.Push(static_cast<char>(ch));
      return ApplyKeyword(keyword.View(), 0, false);
    }
    for (; IsLetter(ch); ch = Get()) keyword.Push(static_cast<char>(ch));

    bool negative = false;
    if (ch == '-') {
      negative = true;
      ch = Get();
      if (ch == kEnd) return rtf::kEndOfFile;
    }
    bool has_parameter = false;
    std::int32_t parameter = 0;
    if (IsDigit(ch)) {
      BoundedToken<20> digits;
      for (; IsDigit(ch); ch = Get()) digits.Push(static_cast<char>(ch));
      last_parameter_ = DigitsValue(digits.View());
      parameter = negative ? -last_parameter_ : last_parameter_;
      has_parameter = true;
    }
    // The delimiting blank belongs to the word; anything else is read again.
    if (ch != ' ' && ch != kEnd) Unget();
    return ApplyKeyword(keyword.View(), parameter, has_parameter);
  }

  int ApplyKeyword(std::string_view keyword, std::int32_t parameter, bool has_parameter) {
    const KeywordRow* row = FindKeyword(keyword);
    const bool skip_pending = skip_pending_;
    skip_pending_ = false;
    if (row == nullptr) {
      // "\*" before an unknown word: the whole destination is skipped.
      if (skip_pending) destination_ = Destination::kSkip;
      return rtf::kOk;
    }
    switch (row->kind) {
      case Kind::kCharacter:
        AppendChar(static_cast<std::uint8_t>(row->target));
        return rtf::kOk;
      case Kind::kDestination:
        destination_ = Destination::kSkip;
        return rtf::kOk;
      case Kind::kProperty:
        if (destination_ == Destination::kSkip) return rtf::kOk;
        return ApplyProperty(row->target,
                             row->fixed || !has_parameter ? row->default_value : parameter);
      case Kind::kSpecial:
        return ApplySpecial(row->target);
    }
    return rtf::kBadTable;
  }

  int ApplyProperty(int target, std::int32_t value) {
    if (target < 0 || target >= kPropertyCount) return rtf::kBadTable;
    properties_[target] = value;
    return rtf::kOk;
  }

  int ApplySpecial(int target) {
    if (destination_ == Destination::kSkip && target != kBinary) return rtf::kOk;
    switch (target) {
      case kBinary:
        input_state_ = InputState::kBinary;
        binary_bytes_left_ = last_parameter_;
        return rtf::kOk;
      case kSkipDestination:
        skip_pending_ = true;
        return rtf::kOk;
      case kHex:
        input_state_ = InputState::kHex;
        return rtf::kOk;
      default:
        return rtf::kBadTable;
    }
  }

  std::span<const std::uint8_t> input_;
  std::size_t position_ = 0;
  std::u16string& text_;

  Destination destination_ = Destination::kNormal;
  InputState input_state_ = InputState::kNormal;
  std::int64_t binary_bytes_left_ = 0;
  std::int32_t last_parameter_ = 0;
  bool skip_pending_ = false;
  int hex_digits_left_ = 2;
  int hex_value_ = 0;
  Properties properties_{};
  std::vector<SaveRecord> saves_;
};

}  // namespace

int ConvertRtfToText(std::span<const std::uint8_t> rtf, std::u16string& text) {
  return RtfReader(rtf, text).Run();
}

int ConvertRtfToText(std::FILE* file, std::u16string& text) {
  std::vector<std::uint8_t> bytes;
  std::array<std::uint8_t, 8192> chunk;
  for (std::size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0;) {
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
  }
  return ConvertRtfToText(bytes, text);
}

}  // namespace bm

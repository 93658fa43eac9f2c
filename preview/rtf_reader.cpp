#include "preview/rtf_reader.h"

#include <algorithm>
#include <array>
#include <new>
#include <string_view>
#include <vector>

#include "base/rtf_tokenizer.h"
#include "base/text.h"

namespace bm {

namespace {

enum class Destination { kNormal, kSkip };

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

// What a group restores when it closes.
struct SaveRecord {
  Properties properties;
  Destination destination;
};

// One run of the reader. Its state lives here and starts fresh, so a body that ends in the
// middle of a skipped destination, binary data or an open group cannot affect the next body.
class RtfReader {
 public:
  RtfReader(std::span<const std::uint8_t> input, std::u16string& text)
      : tokens_(input), text_(text) {}

  int Run() {
    for (rtf::Token token = tokens_.Next(); token.kind != rtf::TokenKind::kEnd;
         token = tokens_.Next()) {
      const int result = Read(token);
      if (result != rtf::kOk) return result;
    }
    return saves_.empty() ? rtf::kOk : rtf::kUnmatchedBrace;
  }

 private:
  int Read(const rtf::Token& token) {
    switch (token.kind) {
      case rtf::TokenKind::kGroupOpen:
        return PushGroup();
      case rtf::TokenKind::kGroupClose:
        return PopGroup();
      case rtf::TokenKind::kText:
      case rtf::TokenKind::kBinary:
        // Binary data is copied like text: braces and backslashes in it are bytes.
        for (const std::uint8_t byte : token.bytes) AppendChar(byte);
        return rtf::kOk;
      case rtf::TokenKind::kHexByte:
        return ReadHexByte(token);
      case rtf::TokenKind::kWord:
      case rtf::TokenKind::kSymbol:
        return ReadControl(token);
      case rtf::TokenKind::kUnicode:  // not asked for: "\u" reads as an unknown word
      case rtf::TokenKind::kEnd:
        break;
    }
    return rtf::kAssertion;
  }

  // "\'" is a table word ("'"): it clears a pending "\*" and, in a skipped destination,
  // does nothing, so its digits are discarded with the rest of the destination.
  int ReadHexByte(const rtf::Token& token) {
    skip_pending_ = false;
    if (destination_ == Destination::kSkip) return rtf::kOk;
    switch (token.fault) {
      case rtf::Fault::kNone:
        AppendChar(token.byte);
        return rtf::kOk;
      case rtf::Fault::kBadHex:
        return rtf::kInvalidHex;
      case rtf::Fault::kTruncated:
        return rtf::kOk;  // the escape simply ends with the input
    }
    return rtf::kAssertion;
  }

  int ReadControl(const rtf::Token& token) {
    if (token.fault == rtf::Fault::kTruncated) return rtf::kEndOfFile;
    if (token.has_parameter) last_parameter_ = token.magnitude;
    // A backslash before a zero byte reads as the empty keyword.
    const std::string_view keyword =
        token.kind == rtf::TokenKind::kSymbol && token.byte == 0 ? std::string_view() : token.word;
    return ApplyKeyword(keyword, token.parameter, token.has_parameter);
  }

  void AppendChar(std::uint8_t byte) {
    if (destination_ == Destination::kNormal) text_.push_back(Cp1252ToChar(byte));
  }

  int PushGroup() {
    if (saves_.size() >= rtf::kMaxGroupDepth) return rtf::kStackOverflow;
    try {
      saves_.push_back({properties_, destination_});
    } catch (const std::bad_alloc&) {
      return rtf::kStackOverflow;
    }
    return rtf::kOk;
  }

  int PopGroup() {
    if (saves_.empty()) return rtf::kStackUnderflow;
    const SaveRecord& top = saves_.back();
    properties_ = top.properties;
    destination_ = top.destination;
    saves_.pop_back();
    return rtf::kOk;
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
    properties_[static_cast<std::size_t>(target)] = value;
    return rtf::kOk;
  }

  int ApplySpecial(int target) {
    switch (target) {
      case kBinary:
        // The count is the last parameter's digits without their sign, even in a skipped
        // destination, so braces in the data never close groups.
        tokens_.SetBinaryLength(static_cast<std::size_t>(last_parameter_));
        return rtf::kOk;
      case kSkipDestination:
        if (destination_ == Destination::kNormal) skip_pending_ = true;
        return rtf::kOk;
      case kHex:
        return rtf::kOk;  // the tokenizer reads the digits with the escape
      default:
        return rtf::kBadTable;
    }
  }

  rtf::Tokenizer tokens_;
  std::u16string& text_;

  Destination destination_ = Destination::kNormal;
  std::int32_t last_parameter_ = 0;
  bool skip_pending_ = false;
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

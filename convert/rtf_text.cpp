#include "convert/rtf_text.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "base/text.h"
#include "convert/charset.h"
#include "convert/html_text.h"

namespace bm {

namespace {

enum class Mode { kText, kHtml };

// Destinations whose content is not text of the document.
bool IsSkippedDestination(std::string_view word) {
  static const char* const kSkipped[] = {"fonttbl",
                                         "colortbl",
                                         "stylesheet",
                                         "info",
                                         "pict",
                                         "object",
                                         "objdata",
                                         "themedata",
                                         "colorschememapping",
                                         "datastore",
                                         "latentstyles",
                                         "listtable",
                                         "listoverridetable",
                                         "rsidtbl",
                                         "generator",
                                         "xmlnstbl",
                                         "header",
                                         "headerl",
                                         "headerr",
                                         "headerf",
                                         "footer",
                                         "footerl",
                                         "footerr",
                                         "footerf",
                                         "fldinst",
                                         "filetbl",
                                         "revtbl",
                                         "pgdsctbl",
                                         "mmathPr",
                                         "userprops",
                                         "docvar",
                                         "bkmkstart",
                                         "bkmkend",
                                         "nonshppict",
                                         "shppict",
                                         "sp",
                                         "mhtmltag",
                                         "xe",
                                         "tc",
                                         "ftnsep",
                                         "ftnsepc",
                                         "aftnsep",
                                         "aftnsepc",
                                         "template",
                                         "listtext",
                                         "pntext",
                                         "pntxta",
                                         "pntxtb",
                                         "fldtype",
                                         "wgrffmtfilter"};
  for (const char* skipped : kSkipped) {
    if (word == skipped) return true;
  }
  return false;
}

// Windows code page of an RTF \fcharset value; 0 means the document's code page.
int CharsetCodePage(int charset) {
  switch (charset) {
    case 77:
      return 10000;
    case 128:
      return 932;
    case 129:
      return 949;
    case 130:
      return 1361;
    case 134:
      return 936;
    case 136:
      return 950;
    case 161:
      return 1253;
    case 162:
      return 1254;
    case 163:
      return 1258;
    case 177:
      return 1255;
    case 178:
      return 1256;
    case 186:
      return 1257;
    case 204:
      return 1251;
    case 222:
      return 874;
    case 238:
      return 1250;
    case 254:
      return 437;
    case 255:
      return 850;
    default:
      return 0;
  }
}

struct GroupState {
  bool skip = false;        // inside a destination that is not text
  bool font_table = false;  // inside \fonttbl: \f defines a font instead of selecting it
  bool html_tag = false;    // inside \*\htmltag: HTML source even where \htmlrtf holds
  bool html_rtf = false;    // \htmlrtf: RTF-only rendering of encapsulated content
  int unicode_skip = 1;     // \ucN
  int font = -1;
};

struct ControlWord {
  std::string word;
  bool has_parameter = false;
  long parameter = 0;
};

class RtfReader {
 public:
  RtfReader(std::string_view rtf, Mode mode) : rtf_(rtf), mode_(mode) {}

  std::string Read() {
    while (pos_ < rtf_.size()) Step();
    FlushBytes();
    return std::move(out_);
  }

  bool FromHtml() const { return from_html_; }

 private:
  void Step() {
    const char c = rtf_[pos_];
    if (c == '{') {
      ++pos_;
      FlushBytes();
      stack_.push_back(state_);
      destination_start_ = true;
    } else if (c == '}') {
      ++pos_;
      FlushBytes();
      if (!stack_.empty()) {
        state_ = stack_.back();
        stack_.pop_back();
      }
      pending_skip_ = 0;
      destination_start_ = false;
    } else if (c == '\\') {
      ++pos_;
      Control();
    } else if (c == '\r' || c == '\n') {
      ++pos_;
    } else {
      ++pos_;
      destination_start_ = false;
      if (ConsumeSkippedCharacter()) return;
      AddByte(static_cast<unsigned char>(c));
    }
  }

  void Control() {
    if (pos_ >= rtf_.size()) return;
    const char c = rtf_[pos_];
    if (std::isalpha(static_cast<unsigned char>(c))) {
      Word(ReadWord());
      return;
    }
    ++pos_;
    const bool at_destination_start = destination_start_;
    destination_start_ = false;
    switch (c) {
      case '\'':
        HexByte();
        return;
      case '*':
        ignorable_ = at_destination_start;
        destination_start_ = at_destination_start;
        return;
      case '\\':
      case '{':
      case '}':
        if (!ConsumeSkippedCharacter()) AddByte(static_cast<unsigned char>(c));
        return;
      case '~':
        if (!ConsumeSkippedCharacter()) AddText("\xC2\xA0");
        return;
      case '_':
        if (!ConsumeSkippedCharacter()) AddText("\xE2\x80\x91");
        return;
      case '\r':
      case '\n':
        AddText("\n");
        return;
      default:
        return;  // \- (optional hyphen), \: (index entry) and the like print nothing
    }
  }

  ControlWord ReadWord() {
    ControlWord control;
    while (pos_ < rtf_.size() && std::isalpha(static_cast<unsigned char>(rtf_[pos_]))) {
      control.word.push_back(rtf_[pos_++]);
    }
    const std::size_t number_start = pos_;
    if (pos_ < rtf_.size() && rtf_[pos_] == '-') ++pos_;
    while (pos_ < rtf_.size() && std::isdigit(static_cast<unsigned char>(rtf_[pos_]))) ++pos_;
    if (pos_ > number_start && std::isdigit(static_cast<unsigned char>(rtf_[pos_ - 1]))) {
      control.has_parameter = true;
      control.parameter = std::strtol(
          std::string(rtf_.substr(number_start, pos_ - number_start)).c_str(), nullptr, 10);
    } else {
      pos_ = number_start;
    }
    if (pos_ < rtf_.size() && rtf_[pos_] == ' ') ++pos_;  // the delimiting blank is part of it
    return control;
  }

  void Word(const ControlWord& control) {
    const bool at_destination_start = destination_start_;
    const bool ignorable = ignorable_;
    destination_start_ = false;
    ignorable_ = false;
    const std::string& word = control.word;
    if (at_destination_start && StartsDestination(word, ignorable)) return;
    if (word == "bin") {
      FlushBytes();
      const auto length = static_cast<std::size_t>(std::max(0L, control.parameter));
      pos_ += std::min(rtf_.size() - pos_, length);  // binary data is no text
      return;
    }
    if (DocumentWord(control)) return;
    if (word == "u" && control.has_parameter) {
      Unicode(control.parameter);
      return;
    }
    if (pending_skip_ > 0) {
      --pending_skip_;
      return;
    }
    TextWord(word);
  }

  // The first control word of a group may make it a destination. True when it did.
  bool StartsDestination(const std::string& word, bool ignorable) {
    if (word == "htmltag") {
      if (mode_ == Mode::kHtml) {
        state_.html_tag = true;
      } else {
        state_.skip = true;
      }
      return true;
    }
    if (word == "fonttbl") {
      state_.skip = true;
      state_.font_table = true;
      return true;
    }
    if (IsSkippedDestination(word) || ignorable) {
      state_.skip = true;
      return true;
    }
    return false;
  }

  // Words that set document or group state. True when `control` was one of them.
  bool DocumentWord(const ControlWord& control) {
    const std::string& word = control.word;
    const long value = control.parameter;
    if (word == "ansicpg" && control.has_parameter) {
      FlushBytes();
      code_page_ = static_cast<int>(value);
    } else if (word == "ansi") {
      code_page_ = 1252;
    } else if (word == "mac") {
      code_page_ = 10000;
    } else if (word == "pc") {
      code_page_ = 437;
    } else if (word == "pca") {
      code_page_ = 850;
    } else if (word == "fromhtml") {
      from_html_ = !control.has_parameter || value != 0;
    } else if (word == "htmlrtf") {
      FlushBytes();
      state_.html_rtf = !control.has_parameter || value != 0;
    } else if (word == "uc") {
      // Real documents use 0 to 2; the bound keeps a damaged value from hiding all text.
      state_.unicode_skip = static_cast<int>(std::clamp(value, 0L, 8L));
    } else if (word == "f" && control.has_parameter) {
      FlushBytes();
      if (state_.font_table) {
        defining_font_ = static_cast<int>(value);
      } else {
        state_.font = static_cast<int>(value);
      }
    } else if (word == "fcharset" && state_.font_table) {
      if (const int page = CharsetCodePage(static_cast<int>(value)); page != 0) {
        font_code_pages_[defining_font_] = page;
      }
    } else if (word == "cpg" && state_.font_table) {
      font_code_pages_[defining_font_] = static_cast<int>(value);
    } else if (word == "deff" && control.has_parameter) {
      state_.font = static_cast<int>(value);
    } else {
      return false;
    }
    return true;
  }

  void TextWord(const std::string& word) {
    static const std::map<std::string, std::string, std::less<>> kTextWords = {
        {"par", "\n"},           {"line", "\n"},        {"row", "\n"},
        {"sect", "\n"},          {"page", "\n"},        {"tab", "\t"},
        {"cell", "\t"},          {"emdash", "\u2014"},  {"endash", "\u2013"},
        {"lquote", "\u2018"},    {"rquote", "\u2019"},  {"ldblquote", "\u201C"},
        {"rdblquote", "\u201D"}, {"bullet", "\u2022"},  {"emspace", "\u2003"},
        {"enspace", "\u2002"},   {"qmspace", "\u2005"},
    };
    if (const auto found = kTextWords.find(word); found != kTextWords.end()) {
      AddText(found->second);
    }
  }

  void HexByte() {
    if (pos_ + 2 > rtf_.size()) {
      pos_ = rtf_.size();
      return;
    }
    const std::string hex(rtf_.substr(pos_, 2));
    pos_ += 2;
    if (ConsumeSkippedCharacter()) return;
    char* end = nullptr;
    const long value = std::strtol(hex.c_str(), &end, 16);
    if (end != hex.c_str() + 2) return;
    AddByte(static_cast<unsigned char>(value));
  }

  void Unicode(long value) {
    if (value < 0) value += 65536;
    pending_skip_ = state_.unicode_skip;
    const auto unit = static_cast<char32_t>(value);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      high_surrogate_ = unit;
      return;
    }
    char32_t code_point = unit;
    if (unit >= 0xDC00 && unit <= 0xDFFF && high_surrogate_ != 0) {
      code_point = 0x10000 + ((high_surrogate_ - 0xD800) << 10) + (unit - 0xDC00);
    }
    high_surrogate_ = 0;
    std::string text;
    AppendUtf8(text, code_point);
    AddText(text);
  }

  // After \uN the next N characters are the fallback for readers without Unicode.
  bool ConsumeSkippedCharacter() {
    if (pending_skip_ == 0) return false;
    --pending_skip_;
    return true;
  }

  bool Visible() const {
    if (state_.skip) return false;
    if (state_.html_tag) return true;
    return !state_.html_rtf;
  }

  void AddByte(unsigned char byte) {
    if (!Visible()) return;
    const int page = CurrentCodePage();
    if (page != bytes_code_page_) FlushBytes();
    bytes_code_page_ = page;
    bytes_.push_back(static_cast<char>(byte));
  }

  void AddText(std::string_view text) {
    if (!Visible()) return;
    FlushBytes();
    out_.append(text);
  }

  void FlushBytes() {
    if (bytes_.empty()) return;
    out_ += CodePageToUtf8(bytes_, bytes_code_page_);
    bytes_.clear();
  }

  int CurrentCodePage() const {
    if (const auto found = font_code_pages_.find(state_.font); found != font_code_pages_.end()) {
      return found->second;
    }
    return code_page_;
  }

  std::string_view rtf_;
  Mode mode_;
  std::size_t pos_ = 0;
  GroupState state_;
  std::vector<GroupState> stack_;
  bool destination_start_ = false;
  bool ignorable_ = false;
  int pending_skip_ = 0;
  char32_t high_surrogate_ = 0;
  int code_page_ = 1252;
  std::map<int, int> font_code_pages_;
  int defining_font_ = -1;
  bool from_html_ = false;
  std::string bytes_;
  int bytes_code_page_ = 1252;
  std::string out_;
};

// \fromhtml1 sits in the header, before any text.
bool DeclaresHtml(std::string_view rtf) {
  const std::size_t found = rtf.find("\\fromhtml1");
  return found != std::string_view::npos && found < 4096;
}

}  // namespace

std::optional<std::string> ExtractRtfHtml(std::string_view rtf) {
  if (!DeclaresHtml(rtf)) return std::nullopt;
  RtfReader reader(rtf, Mode::kHtml);
  std::string html = reader.Read();
  if (!reader.FromHtml()) return std::nullopt;
  return html;
}

std::string RtfToText(std::string_view rtf) {
  if (std::optional<std::string> html = ExtractRtfHtml(rtf)) return HtmlToText(*html);
  std::string text = RtfReader(rtf, Mode::kText).Read();
  // Paragraph marks at the very end are layout, not text.
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace bm

#include "msg/rtf_text.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/rtf_tokenizer.h"
#include "base/text.h"
#include "msg/charset.h"
#include "msg/html_text.h"

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
  int font = -1;
};

class RtfReader {
 public:
  RtfReader(std::string_view rtf, Mode mode) : tokens_(rtf, {.unicode = true}), mode_(mode) {}

  std::string Read() {
    for (rtf::Token token = tokens_.Next(); token.kind != rtf::TokenKind::kEnd;
         token = tokens_.Next()) {
      Step(token);
    }
    FlushBytes();
    return std::move(out_);
  }

  bool FromHtml() const { return from_html_; }

 private:
  void Step(const rtf::Token& token) {
    switch (token.kind) {
      case rtf::TokenKind::kGroupOpen:
        FlushBytes();
        stack_.push_back(state_);
        return;
      case rtf::TokenKind::kGroupClose:
        FlushBytes();
        if (!stack_.empty()) {
          state_ = stack_.back();
          stack_.pop_back();
        }
        return;
      case rtf::TokenKind::kText:
        for (const std::uint8_t byte : token.bytes) AddByte(byte);
        return;
      case rtf::TokenKind::kHexByte:
        if (token.fault == rtf::Fault::kNone) AddByte(token.byte);
        return;
      case rtf::TokenKind::kUnicode:
        if (!Visible()) return;
        DecodeBytes();
        surrogates_.Add(token.unit, out_);
        return;
      case rtf::TokenKind::kSymbol:
        Symbol(token.byte);
        return;
      case rtf::TokenKind::kWord:
        Word(token);
        return;
      case rtf::TokenKind::kBinary:  // binary data is no text
      case rtf::TokenKind::kEnd:
        return;
    }
  }

  void Symbol(std::uint8_t symbol) {
    switch (symbol) {
      case '\\':
      case '{':
      case '}':
        AddByte(symbol);
        return;
      case '~':
        AddText("\xC2\xA0");
        return;
      case '_':
        AddText("\xE2\x80\x91");
        return;
      case '\r':
      case '\n':
        AddText("\n");
        return;
      default:
        return;  // \- (optional hyphen), \: (index entry) and the like print nothing
    }
  }

  void Word(const rtf::Token& token) {
    if (token.group_start && StartsDestination(token.word, token.ignorable)) return;
    if (DocumentWord(token)) return;
    TextWord(token.word);
  }

  // The first control word of a group may make it a destination. True when it did.
  bool StartsDestination(std::string_view word, bool ignorable) {
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

  // Words that set document or group state. True when `token` was one of them.
  bool DocumentWord(const rtf::Token& token) {
    const std::string_view word = token.word;
    const std::int32_t value = token.parameter;
    if (word == "ansicpg" && token.has_parameter) {
      FlushBytes();
      code_page_ = value;
    } else if (word == "ansi") {
      code_page_ = 1252;
    } else if (word == "mac") {
      code_page_ = 10000;
    } else if (word == "pc") {
      code_page_ = 437;
    } else if (word == "pca") {
      code_page_ = 850;
    } else if (word == "fromhtml") {
      from_html_ = !token.has_parameter || value != 0;
    } else if (word == "htmlrtf") {
      FlushBytes();
      state_.html_rtf = !token.has_parameter || value != 0;
    } else if (word == "uc") {
      // the tokenizer keeps the fallback length
    } else if (word == "f" && token.has_parameter) {
      FlushBytes();
      if (state_.font_table) {
        defining_font_ = value;
      } else {
        state_.font = value;
      }
    } else if (word == "fcharset" && state_.font_table) {
      if (const int page = CharsetCodePage(value); page != 0) {
        font_code_pages_[defining_font_] = page;
      }
    } else if (word == "cpg" && state_.font_table) {
      font_code_pages_[defining_font_] = value;
    } else if (word == "deff" && token.has_parameter) {
      state_.font = value;
    } else {
      return false;
    }
    return true;
  }

  void TextWord(std::string_view word) {
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

  bool Visible() const {
    if (state_.skip) return false;
    if (state_.html_tag) return true;
    return !state_.html_rtf;
  }

  void AddByte(std::uint8_t byte) {
    if (!Visible()) return;
    surrogates_.Flush(out_);
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

  // Decodes the bytes gathered so far in their code page; a surrogate half still waiting
  // goes out first, as U+FFFD.
  void FlushBytes() {
    surrogates_.Flush(out_);
    DecodeBytes();
  }

  void DecodeBytes() {
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

  rtf::Tokenizer tokens_;
  Mode mode_;
  GroupState state_;
  std::vector<GroupState> stack_;
  rtf::SurrogateJoiner surrogates_;
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

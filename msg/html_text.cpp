#include "msg/html_text.h"

#include <gumbo.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

#include "msg/charset.h"

namespace bm {

namespace {

// The document prefix in which a meta charset counts (the HTML5 prescan looks at 1024 bytes;
// mail bodies often carry long style blocks first).
constexpr std::size_t kCharsetScanLimit = 8192;

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string CharsetInMetaTag(std::string_view tag) {
  const std::size_t key = tag.find("charset");
  if (key == std::string_view::npos) return {};
  std::size_t pos = key + 7;
  while (pos < tag.size() &&
         (tag[pos] == ' ' || tag[pos] == '=' || tag[pos] == '"' || tag[pos] == '\'')) {
    ++pos;
  }
  std::size_t end = pos;
  while (end < tag.size() &&
         (std::isalnum(static_cast<unsigned char>(tag[end])) || tag[end] == '-' ||
          tag[end] == '_' || tag[end] == '.' || tag[end] == ':')) {
    ++end;
  }
  return std::string(tag.substr(pos, end - pos));
}

std::string CharsetInMeta(std::string_view html) {
  const std::string head = Lower(html.substr(0, std::min(html.size(), kCharsetScanLimit)));
  std::size_t pos = 0;
  while ((pos = head.find("<meta", pos)) != std::string::npos) {
    const std::size_t end = head.find('>', pos);
    const std::string_view tag = std::string_view(head).substr(
        pos, end == std::string::npos ? std::string::npos : end - pos);
    if (std::string charset = CharsetInMetaTag(tag); !charset.empty()) return charset;
    pos += 5;
  }
  return {};
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Labels of UTF-16, UTF-32 and UCS-2 (lower case).
bool IsWideCharsetLabel(std::string_view charset) {
  return StartsWith(charset, "utf-16") || StartsWith(charset, "utf-32") ||
         StartsWith(charset, "ucs-") || StartsWith(charset, "unicode") || charset == "csunicode" ||
         charset == "iso-10646-ucs-2";
}

// Collects text with collapsed white space and the line breaks that blocks ask for.
class TextBuilder {
 public:
  void Text(std::string_view text, bool preformatted) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (preformatted) {
        // A character reference can still give a CR (&#xd;): lines end in LF alone.
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        Raw(c == '\r' ? std::string_view("\n") : std::string_view(&c, 1));
      } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
        pending_space_ = !out_.empty() && out_.back() != '\n';
      } else {
        FlushPending();
        out_.push_back(c);
      }
    }
  }

  // Text that keeps its white space (preformatted blocks, cell separators).
  void Raw(std::string_view text) {
    FlushPending();
    out_.append(text);
  }

  // Asks for at least `lines` line ends before the next text (2 leaves a blank line).
  void Break(int lines) {
    pending_breaks_ = std::max(pending_breaks_, lines);
    pending_space_ = false;
  }

  // An explicit line end (<br>): these add up, unlike block breaks.
  void LineEnd() {
    FlushBreaks();
    out_.push_back('\n');
    pending_space_ = false;
  }

  std::size_t Size() const { return out_.size(); }
  std::string_view Since(std::size_t position) const {
    return std::string_view(out_).substr(position);
  }

  // The text without the line ends and blanks that lead or trail it.
  std::string Finish() {
    while (!out_.empty() && (out_.back() == '\n' || out_.back() == ' ')) out_.pop_back();
    return out_.substr(std::min(out_.find_first_not_of('\n'), out_.size()));
  }

 private:
  void FlushPending() {
    FlushBreaks();
    if (pending_space_) out_.push_back(' ');
    pending_space_ = false;
  }

  void FlushBreaks() {
    if (out_.empty()) {
      pending_breaks_ = 0;
      return;
    }
    int present = 0;  // counted only as far as needed, so long runs of line ends stay cheap
    for (auto it = out_.rbegin(); it != out_.rend() && *it == '\n' && present < pending_breaks_;
         ++it) {
      ++present;
    }
    for (int i = present; i < pending_breaks_; ++i) out_.push_back('\n');
    pending_breaks_ = 0;
  }

  std::string out_;
  int pending_breaks_ = 0;
  bool pending_space_ = false;
};

bool IsSkipped(GumboTag tag) {
  switch (tag) {
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_NOSCRIPT:
    case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_OBJECT:
    case GUMBO_TAG_SELECT:
      return true;
    default:
      return false;
  }
}

// Line breaks around an element: 2 for paragraph-like blocks, 1 for other blocks.
int BlockBreaks(GumboTag tag) {
  switch (tag) {
    case GUMBO_TAG_P:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_ADDRESS:
    case GUMBO_TAG_FIGURE:
    case GUMBO_TAG_FORM:
      return 2;
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_TR:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_ARTICLE:
    case GUMBO_TAG_HEADER:
    case GUMBO_TAG_FOOTER:
    case GUMBO_TAG_NAV:
    case GUMBO_TAG_ASIDE:
    case GUMBO_TAG_MAIN:
    case GUMBO_TAG_CENTER:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_FIELDSET:
    case GUMBO_TAG_LEGEND:
    case GUMBO_TAG_OPTION:
    case GUMBO_TAG_BODY:
    case GUMBO_TAG_FIGCAPTION:
    case GUMBO_TAG_DETAILS:
    case GUMBO_TAG_SUMMARY:
      return 1;
    default:
      return 0;
  }
}

const char* Attribute(const GumboElement& element, const char* name) {
  const GumboAttribute* attribute = gumbo_get_attribute(&element.attributes, name);
  return attribute == nullptr ? nullptr : attribute->value;
}

// Walks the tree with an explicit stack: hostile mail can nest elements far deeper than a
// thread's stack would allow recursion to go.
class HtmlTextWalker {
 public:
  std::string Run(const GumboNode* root) {
    Enter(root, false);
    while (!stack_.empty()) {
      Frame& frame = stack_.back();
      const GumboVector& children = Children(frame.node);
      if (frame.next_child < children.length) {
        const bool preformatted = frame.preformatted;
        Enter(static_cast<const GumboNode*>(children.data[frame.next_child++]), preformatted);
      } else {
        const Frame done = frame;
        stack_.pop_back();
        Leave(done);
      }
    }
    return text_.Finish();
  }

 private:
  struct Frame {
    const GumboNode* node;
    unsigned next_child;
    bool preformatted;
    std::size_t text_start;  // where the element's text begins in the output
  };

  static const GumboVector& Children(const GumboNode* node) {
    return node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
  }

  // Handles a node's start; a node whose children are to be walked gets a frame.
  void Enter(const GumboNode* node, bool preformatted) {
    switch (node->type) {
      case GUMBO_NODE_DOCUMENT:
        stack_.push_back({node, 0, preformatted, text_.Size()});
        break;
      case GUMBO_NODE_ELEMENT:
      case GUMBO_NODE_TEMPLATE:
        EnterElement(node, preformatted);
        break;
      case GUMBO_NODE_TEXT:
      case GUMBO_NODE_CDATA:
      case GUMBO_NODE_WHITESPACE:
        AddText(node->v.text.text, preformatted);
        break;
      case GUMBO_NODE_COMMENT:
        break;
    }
  }

  // A no-break space stays a single space that white-space collapsing leaves alone.
  void AddText(std::string_view text, bool preformatted) {
    std::size_t start = 0;
    for (std::size_t pos; (pos = text.find("\xC2\xA0", start)) != std::string_view::npos;) {
      text_.Text(text.substr(start, pos - start), preformatted);
      text_.Raw(" ");
      start = pos + 2;
    }
    text_.Text(text.substr(start), preformatted);
  }

  void EnterElement(const GumboNode* node, bool preformatted) {
    const GumboElement& element = node->v.element;
    const GumboTag tag = element.tag;
    if (IsSkipped(tag)) return;
    if (tag == GUMBO_TAG_BR) {
      text_.LineEnd();
      return;
    }
    if (tag == GUMBO_TAG_IMG) {
      if (const char* alt = Attribute(element, "alt"); alt != nullptr && *alt != '\0') {
        text_.Text(std::string("[") + alt + "]", false);
      }
      return;
    }
    if (const int breaks = BlockBreaks(tag); breaks > 0) text_.Break(breaks);
    // Cells after the first of a row are set off by a tab.
    if ((tag == GUMBO_TAG_TD || tag == GUMBO_TAG_TH) && HasCellBefore(node)) text_.Raw("\t");
    if (tag == GUMBO_TAG_LI) text_.Raw("* ");
    const bool inner_preformatted =
        preformatted || tag == GUMBO_TAG_PRE || tag == GUMBO_TAG_TEXTAREA;
    stack_.push_back({node, 0, inner_preformatted, text_.Size()});
  }

  void Leave(const Frame& frame) {
    if (frame.node->type != GUMBO_NODE_ELEMENT && frame.node->type != GUMBO_NODE_TEMPLATE) return;
    const GumboTag tag = frame.node->v.element.tag;
    if (tag == GUMBO_TAG_A) AddLinkTarget(frame.node->v.element, frame.text_start);
    if (const int breaks = BlockBreaks(tag); breaks > 0) text_.Break(breaks);
  }

  static bool HasCellBefore(const GumboNode* cell) {
    const GumboNode* parent = cell->parent;
    if (parent == nullptr || parent->type != GUMBO_NODE_ELEMENT) return false;
    const GumboVector& siblings = parent->v.element.children;
    for (unsigned i = 0; i < cell->index_within_parent && i < siblings.length; ++i) {
      const auto* sibling = static_cast<const GumboNode*>(siblings.data[i]);
      if (sibling->type == GUMBO_NODE_ELEMENT &&
          (sibling->v.element.tag == GUMBO_TAG_TD || sibling->v.element.tag == GUMBO_TAG_TH)) {
        return true;
      }
    }
    return false;
  }

  void AddLinkTarget(const GumboElement& link, std::size_t text_start) {
    const char* href = Attribute(link, "href");
    if (href == nullptr) return;
    // As a browser reads the address: control characters (line ends from character
    // references included) are no part of it.
    std::string cleaned(href);
    std::erase_if(cleaned, [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    const std::string_view target(cleaned);
    if (target.empty() || StartsWith(target, "#") || StartsWith(Lower(target), "javascript:")) {
      return;
    }
    const std::string_view shown = text_.Since(text_start);
    const std::string_view bare = StartsWith(target, "mailto:") ? target.substr(7) : target;
    if (shown.find(bare) != std::string_view::npos) return;
    text_.Text(" <", false);
    text_.Raw(target);
    text_.Raw(">");
  }

  TextBuilder text_;
  std::vector<Frame> stack_;
};

// Beyond this element nesting the HTML5 tree builder's work grows with the square of the
// depth (minutes for hostile mail), so such documents are flattened first.
constexpr std::size_t kMaxParsedNesting = 2000;

struct MarkupTag {
  std::string name;  // lower case; "!" for comments and declarations
  bool closing = false;
  bool self_closing = false;
  std::size_t end = 0;  // just after the tag
};

// The tag that starts at html[pos] == '<'; nullopt when that '<' is text.
std::optional<MarkupTag> ReadTag(std::string_view html, std::size_t pos) {
  MarkupTag tag;
  std::size_t name_start = pos + 1;
  if (html.substr(pos, 4) == "<!--") {
    const std::size_t close = html.find("-->", pos + 4);
    tag.name = "!";
    tag.end = close == std::string_view::npos ? html.size() : close + 3;
    return tag;
  }
  if (name_start < html.size() && (html[name_start] == '!' || html[name_start] == '?')) {
    tag.name = "!";
  } else {
    if (name_start < html.size() && html[name_start] == '/') {
      tag.closing = true;
      ++name_start;
    }
    std::size_t name_end = name_start;
    while (name_end < html.size() && std::isalnum(static_cast<unsigned char>(html[name_end]))) {
      ++name_end;
    }
    if (name_end == name_start) return std::nullopt;
    tag.name = Lower(html.substr(name_start, name_end - name_start));
  }
  const std::size_t close = html.find('>', name_start);
  tag.end = close == std::string_view::npos ? html.size() : close + 1;
  tag.self_closing = close != std::string_view::npos && close > 0 && html[close - 1] == '/';
  return tag;
}

bool IsVoidElement(std::string_view name) {
  static const char* const kVoid[] = {"area",  "base", "br",   "col",   "embed",  "hr",    "img",
                                      "input", "link", "meta", "param", "source", "track", "wbr"};
  for (const char* element : kVoid) {
    if (name == element) return true;
  }
  return false;
}

// The deepest nesting the document's tags could build.
std::size_t NestingEstimate(std::string_view html) {
  std::size_t depth = 0;
  std::size_t deepest = 0;
  for (std::size_t pos = html.find('<'); pos != std::string_view::npos;
       pos = html.find('<', pos + 1)) {
    const std::optional<MarkupTag> tag = ReadTag(html, pos);
    if (!tag || tag->name == "!") continue;
    if (tag->closing) {
      depth -= depth > 0 ? 1 : 0;
    } else if (!tag->self_closing && !IsVoidElement(tag->name)) {
      deepest = std::max(deepest, ++depth);
    }
  }
  return deepest;
}

// Where the closing tag `</name` next begins at or after `from` (any case); the end when none.
std::size_t FindClosingTag(std::string_view html, std::string_view name, std::size_t from) {
  for (std::size_t pos = html.find("</", from); pos != std::string_view::npos;
       pos = html.find("</", pos + 2)) {
    const std::string_view candidate = html.substr(pos + 2, name.size());
    if (candidate.size() == name.size() &&
        std::equal(candidate.begin(), candidate.end(), name.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == b;
        })) {
      return pos;
    }
  }
  return html.size();
}

// The document without nesting: the content of scripts, styles and the head dropped, block
// tags turned into line breaks, all other tags removed. Text and entities stay for the parser.
std::string FlattenMarkup(std::string_view html) {
  static const char* const kDropped[] = {"script", "style",    "head",
                                         "title",  "noscript", "template"};
  std::string flat;
  std::size_t pos = 0;
  while (pos < html.size()) {
    const std::size_t open = html.find('<', pos);
    flat.append(
        html.substr(pos, open == std::string_view::npos ? std::string_view::npos : open - pos));
    if (open == std::string_view::npos) break;
    const std::optional<MarkupTag> tag = ReadTag(html, open);
    if (!tag) {
      flat += "&lt;";
      pos = open + 1;
      continue;
    }
    pos = tag->end;
    if (tag->closing || tag->name == "!") continue;
    const bool dropped = std::any_of(std::begin(kDropped), std::end(kDropped),
                                     [&](const char* name) { return tag->name == name; });
    if (dropped && !tag->self_closing) {
      pos = FindClosingTag(html, tag->name, pos);
    } else if (tag->name == "br" || tag->name == "p" || tag->name == "div" || tag->name == "tr" ||
               tag->name == "li" || tag->name == "table") {
      // At most a blank line, however many blocks were nested there.
      if (flat.size() < 8 || flat.compare(flat.size() - 8, 8, "<br><br>") != 0) flat += "<br>";
    }
  }
  return flat;
}

struct GumboOutputDeleter {
  void operator()(GumboOutput* output) const {
    gumbo_destroy_output(&kGumboDefaultOptions, output);
  }
};

}  // namespace

std::string DeclaredHtmlCharset(std::string_view html) {
  if (StartsWith(html, "\xEF\xBB\xBF")) return "utf-8";
  if (StartsWith(html, "\xFF\xFE")) return "utf-16le";
  if (StartsWith(html, "\xFE\xFF")) return "utf-16be";
  std::string charset = CharsetInMeta(html);
  // A meta tag that could be read byte by byte proves the document is not in a 16- or 32-bit
  // form, whatever it declares (Outlook writes "charset=unicode"); browsers read it as UTF-8.
  if (IsWideCharsetLabel(charset)) return "utf-8";
  return charset;
}

std::string HtmlToUtf8(std::string_view html) {
  std::string charset = DeclaredHtmlCharset(html);
  if (charset == "utf-8" || charset == "utf8") {
    if (StartsWith(html, "\xEF\xBB\xBF")) html.remove_prefix(3);
    return Utf8OrWindows1252(html);
  }
  if (charset == "utf-16le" || charset == "utf-16be") {
    html.remove_prefix(2);
    if (auto text = CharsetToUtf8(html, Lower(charset))) return *text;
    return Utf8OrWindows1252(html);
  }
  // Browsers read these labels as windows-1252, which is a superset of them.
  if (charset.empty() || charset == "iso-8859-1" || charset == "us-ascii" || charset == "latin1" ||
      charset == "windows-1252") {
    return Utf8OrWindows1252(html);
  }
  if (auto text = CharsetToUtf8(html, charset)) return *text;
  return Utf8OrWindows1252(html);
}

std::string HtmlToText(std::string_view html) {
  std::string utf8 = HtmlToUtf8(html);
  if (NestingEstimate(utf8) > kMaxParsedNesting) utf8 = FlattenMarkup(utf8);
  const std::unique_ptr<GumboOutput, GumboOutputDeleter> output(
      gumbo_parse_with_options(&kGumboDefaultOptions, utf8.data(), utf8.size()));
  if (!output) return {};
  // The parser gives invalid bytes for character references beyond U+10FFFF.
  return ValidUtf8(HtmlTextWalker().Run(output->root));
}

}  // namespace bm

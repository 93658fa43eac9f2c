#include "preview/inline_pictures.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>
#include <unordered_map>

#include "base/file_bytes.h"
#include "base/paths.h"
#include "base/text.h"
#include "preview/page_files.h"
#include "preview/preview_pages.h"
#include "preview/xhtml.h"
#include "writers/attachments.h"

namespace bm {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Where a reference ends: a quote, a bracket of a tag or of url(), or a blank.
bool EndsReference(char c) {
  return IsSpace(c) || c == '"' || c == '\'' || c == ')' || c == '>' || c == '<';
}

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return AsciiLower(c); });
  return lower;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiLower(text[i]) != prefix[i]) return false;
  }
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

// A content id as references name it: without blanks and angle brackets, in lower case.
std::string ContentIdKey(std::string_view id) {
  id = Trimmed(id);
  if (!id.empty() && id.front() == '<') id.remove_prefix(1);
  if (!id.empty() && id.back() == '>') id.remove_suffix(1);
  return AsciiLower(Trimmed(id));
}

constexpr std::string_view kCidScheme = "cid:";
constexpr std::string_view kCssUrl = "url(";

// The parts by the keys references use, and the longest raw reference that can match one
// (each decoded byte comes from at most three: "%XX").
struct PartKeys {
  std::unordered_map<std::string, std::size_t> by_content_id;
  std::unordered_map<std::string, std::size_t> by_location;
  std::size_t longest_reference = 0;

  PartKeys(std::span<const InlinePart> parts, std::span<const std::string> urls) {
    std::size_t longest_key = 0;
    for (std::size_t i = 0; i < parts.size() && i < urls.size(); ++i) {
      if (urls[i].empty()) continue;
      const std::string id = ContentIdKey(ToUtf8(parts[i].content_id));
      if (!id.empty()) {
        by_content_id.emplace(id, i);
        longest_key = std::max(longest_key, kCidScheme.size() + id.size() + 2);
      }
      const std::string location(Trimmed(ToUtf8(parts[i].content_location)));
      if (!location.empty()) {
        by_location.emplace(location, i);
        longest_key = std::max(longest_key, location.size());
      }
    }
    longest_reference = 3 * longest_key;
  }

  std::optional<std::size_t> Find(std::string_view reference) const {
    if (reference.size() > longest_reference) return std::nullopt;
    if (StartsWithNoCase(reference, kCidScheme)) {
      const auto found =
          by_content_id.find(ContentIdKey(PercentDecoded(reference.substr(kCidScheme.size()))));
      if (found != by_content_id.end()) return found->second;
    }
    const auto found = by_location.find(std::string(reference));
    if (found != by_location.end()) return found->second;
    return std::nullopt;
  }
};

// Finds where each reference ends. Lookups come in rising order, so one forward pointer
// serves them all and the page is read once, however many "=" it holds.
class ReferenceEnds {
 public:
  explicit ReferenceEnds(std::string_view html) : html_(html) {}

  std::size_t From(std::size_t start) {
    if (end_ < start || !found_once_) {
      end_ = start;
      while (end_ < html_.size() && !EndsReference(html_[end_])) ++end_;
      found_once_ = true;
    }
    return end_;
  }

 private:
  std::string_view html_;
  std::size_t end_ = 0;
  bool found_once_ = false;
};

// Where the value after "=" or "url(" at `after` starts: past blanks and one opening quote.
std::size_t ValueStart(std::string_view html, std::size_t after) {
  while (after < html.size() && IsSpace(html[after])) ++after;
  if (after < html.size() && (html[after] == '"' || html[after] == '\'')) ++after;
  while (after < html.size() && IsSpace(html[after])) ++after;
  return after;
}

// A picture's file name that stays one plain name inside the pictures folder.
bool IsPlainFileName(std::u16string_view name) {
  return !name.empty() && name != u"." && name != u".." &&
         name.find(u'/') == std::u16string_view::npos &&
         name.find(u'\0') == std::u16string_view::npos;
}

// The pictures folder, made anew (mode 0700) so it holds only the files this click writes.
Status FreshFolder(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::remove_all(folder, error);
  if (error) return Error("cannot empty " + folder.string() + ": " + error.message());
  if (::mkdir(folder.c_str(), 0700) != 0) {
    return Error("cannot make " + folder.string() + ": " + std::generic_category().message(errno));
  }
  return {};
}

// Writes the parts in `used` from the stored message into `folder`; why, for each that failed.
std::vector<std::string> WritePictures(const pst::Store& store, const EmailRowRecord& record,
                                       const std::vector<std::size_t>& used,
                                       std::u16string_view folder) {
  std::vector<std::string> failures;
  Result<pst::Message> message = store.OpenMessage(record.message_nid);
  if (!message) {
    failures.push_back(message.error().Within("the message cannot be read").message());
    return failures;
  }
  for (const std::size_t i : used) {
    const InlinePart& part = record.inline_parts[i];
    Result<pst::Attachment> attachment = message->OpenAttachment(part.attachment_index);
    Status written = attachment ? WriteAttachmentContent(*attachment, part.size,
                                                         ToPath(JoinPath(folder, part.file_name)))
                                : Status(attachment.error());
    if (!written) {
      failures.push_back(written.error().Within("picture " + ToUtf8(part.file_name)).message());
    }
  }
  return failures;
}

}  // namespace

RewrittenHtml RewriteInlineReferences(std::string_view html, std::span<const InlinePart> parts,
                                      std::span<const std::string> urls) {
  RewrittenHtml result;
  const PartKeys keys(parts, urls);
  if (keys.by_content_id.empty() && keys.by_location.empty()) {
    result.html = std::string(html);
    return result;
  }
  result.html.reserve(html.size());
  ReferenceEnds ends(html);
  std::size_t copied = 0;  // html before this is in the result
  std::size_t i = 0;
  while (i < html.size()) {
    std::size_t after = 0;
    if (html[i] == '=') {
      after = i + 1;
    } else if (StartsWithNoCase(html.substr(i), kCssUrl)) {
      after = i + kCssUrl.size();
    } else {
      ++i;
      continue;
    }
    const std::size_t start = ValueStart(html, after);
    const std::size_t end = ends.From(start);
    const std::optional<std::size_t> part = keys.Find(html.substr(start, end - start));
    if (!part) {
      i = std::max(after, start);
      continue;
    }
    result.html.append(html.substr(copied, start - copied));
    result.html += urls[*part];
    copied = end;
    i = end;
    if (std::find(result.used.begin(), result.used.end(), *part) == result.used.end()) {
      result.used.push_back(*part);
    }
  }
  result.html.append(html.substr(copied));
  return result;
}

Result<BodyToShow> WriteBodyWithPictures(const pst::Store& store, const EmailRowRecord& record,
                                         std::u16string_view temp_folder) {
  BodyToShow shown{.path = record.body_file_path, .failures = {}};
  if (record.inline_parts.empty() || !record.body_file_path.ends_with(u".html")) return shown;
  const std::optional<std::string> html = ReadFileBytes(ToPath(record.body_file_path));
  if (!html) return shown;  // the frame then says the body is missing, as it is

  const std::u16string folder =
      WithTrailingSeparator(std::u16string(temp_folder) + std::u16string(kInlinePicturesFolder));
  std::vector<std::string> urls;
  for (const InlinePart& part : record.inline_parts) {
    // The file URL percent-encodes every quote, bracket and blank, so no name can end the
    // attribute or url() it goes into.
    urls.push_back(IsPlainFileName(part.file_name) ? ToUtf8(FileUrl(folder + part.file_name))
                                                   : std::string());
  }
  RewrittenHtml rewritten = RewriteInlineReferences(*html, record.inline_parts, urls);
  if (rewritten.used.empty()) return shown;

  if (Status made = FreshFolder(ToPath(folder)); !made) return made.error();
  shown.failures = WritePictures(store, record, rewritten.used, folder);
  const std::u16string page_path = std::u16string(temp_folder) + std::u16string(kHtmlBodyName);
  if (Status written = WriteBinaryFile(
          ToPath(page_path), std::span(reinterpret_cast<const std::uint8_t*>(rewritten.html.data()),
                                       rewritten.html.size()));
      !written) {
    return written.error();
  }
  shown.path = page_path;
  return shown;
}

}  // namespace bm

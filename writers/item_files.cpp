#include "writers/item_files.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/paths.h"
#include "base/pending_file.h"
#include "base/safe_files.h"
#include "base/text.h"
#include "base/utf16_file.h"
#include "writers/value_format.h"

namespace bm {

namespace {

// Bytes of UTF-8 that one UTF-16 unit (or a surrogate pair, counted on its high unit) takes.
std::size_t Utf8Length(std::u16string_view text) {
  return ToUtf8(text).size();
}

bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

std::span<const std::uint8_t> UpToZero(const std::vector<std::uint8_t>& bytes) {
  std::size_t length = 0;
  while (length < bytes.size() && bytes[length] != 0) ++length;
  return {bytes.data(), length};
}

}  // namespace

Result<std::u16string> WriteWorkingFile(std::u16string_view directory, std::u16string_view name,
                                        std::span<const std::uint8_t> bytes) {
  const std::u16string path = JoinPath(directory, name);
  Result<FileDescriptor> file = RecreateFile(ToPath(path), kPrivateFileMode);
  if (!file) return file.error();
  Status written = WriteAll(file->get(), bytes);
  if (written) written = file->Close();
  if (!written) {
    // A file cut short (a full disk) must not pass for the whole one.
    ::unlink(ToPath(path).c_str());
    return written.error().Within("writing " + ToPath(path).string());
  }
  return path;
}

std::u16string FitFileName(std::u16string_view stem, std::u16string_view tail,
                           std::size_t max_bytes) {
  const std::size_t tail_bytes = Utf8Length(tail);
  if (tail_bytes >= max_bytes) return std::u16string();
  const std::size_t budget = max_bytes - tail_bytes;
  std::size_t used = 0;
  std::size_t keep = 0;
  while (keep < stem.size()) {
    const std::size_t units =
        IsHighSurrogate(stem[keep]) && keep + 1 < stem.size() ? std::size_t{2} : std::size_t{1};
    const std::size_t bytes = Utf8Length(stem.substr(keep, units));
    if (used + bytes > budget) break;
    used += bytes;
    keep += units;
  }
  return std::u16string(stem.substr(0, keep));
}

namespace {

// Far more attempts than any folder needs; the bound only keeps a broken disk from looping.
constexpr int kMaxNameAttempts = 100000;

// Attempt 1 is "<stem>--<number><ext>", attempt k > 1 "<stem>--<number> (k)<ext>", the stem
// cut so the name fits.
std::u16string TargetCandidate(std::u16string_view directory, std::u16string_view stem,
                               std::u16string_view number_text, std::u16string_view extension,
                               int attempt) {
  std::u16string tail = u"--";
  tail += number_text;
  if (attempt > 1) tail += u" (" + DecimalText(attempt) + u")";
  tail += extension;
  return JoinPath(directory, FitFileName(stem, tail) + tail);
}

}  // namespace

Result<std::u16string> WriteTargetTextFile(std::u16string_view directory, std::u16string_view stem,
                                           std::u16string_view number_text,
                                           std::u16string_view extension, std::u16string_view text,
                                           const RecordBody& body) {
  std::u16string content(text);
  content += BodyAsText(body);
  const std::string bytes = Utf16LeFileBytes(content);
  return WriteTargetFile(directory, stem, number_text, extension, bytes);
}

Result<std::u16string> WriteTargetFile(std::u16string_view directory, std::u16string_view stem,
                                       std::u16string_view number_text,
                                       std::u16string_view extension, std::string_view bytes) {
  Result<PendingFile> file = PendingFile::Create(ToPath(directory));
  if (!file) return file.error();
  if (Status written = file->Write(bytes); !written) return written.error();
  for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
    const std::u16string path = TargetCandidate(directory, stem, number_text, extension, attempt);
    const Result<bool> placed = file->PlaceAs(ToPath(path));
    if (!placed.ok()) return placed.error();
    if (*placed) return path;
  }
  return Error("no free name for the file");
}

std::u16string FreeTargetPath(std::u16string_view directory, std::u16string_view stem,
                              std::u16string_view number_text, std::u16string_view extension) {
  std::u16string path;
  for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
    path = TargetCandidate(directory, stem, number_text, extension, attempt);
    // A name the file system cannot take is not tried 100,000 times: the write then fails
    // at once and says why.
    if (!PathExists(ToPath(path)).value_or(false)) break;
  }
  return path;
}

std::u16string TargetFileStem(std::u16string_view subject) {
  return FileNameSubject(subject);
}

std::u16string BodyAsText(const RecordBody& body) {
  const std::span<const std::uint8_t> content = UpToZero(body.bytes);
  if (body.kind == BodyKind::kText) {
    return FromUtf8(
        std::string_view(reinterpret_cast<const char*>(content.data()), content.size()));
  }
  return BytesToText(content);
}

void AppendLine(std::u16string& text, std::u16string_view label, std::u16string_view value) {
  if (value.empty()) return;
  text += label;
  text += value;
  text += u"\r\n";
}

}  // namespace bm

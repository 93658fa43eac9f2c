// File operations the item writers share: the body file, names that fit the file system and
// never replace a converted file, and the labelled UTF-16 text files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/result.h"
#include "writers/row_records.h"

namespace bm {

// The longest file name (one path component) the file system takes, in bytes of UTF-8.
inline constexpr std::size_t kMaxFileNameBytes = 255;

// Writes `bytes` as the working file `name` in the run's temp folder `directory` (mode 0600,
// made afresh: a file or link of that name is removed first, never written through). The
// file's path, or why it could not be written whole.
Result<std::u16string> WriteWorkingFile(std::u16string_view directory, std::u16string_view name,
                                        std::span<const std::uint8_t> bytes);

// `stem` cut (at a character boundary) so that stem + tail is at most `max_bytes` of UTF-8.
std::u16string FitFileName(std::u16string_view stem, std::u16string_view tail,
                           std::size_t max_bytes = kMaxFileNameBytes);

// Writes a converted item's labelled UTF-16LE text file (mark FF FE, then `text`, then the
// body as text) as "<stem>--<number><extension>" in `directory`, cut to fit the name limit.
// The file is written whole under a temporary name first and then moved to its name without
// replacing anything: when the name is taken, " (2)", " (3)", ... goes before the extension.
// The path written, or why nothing was.
Result<std::u16string> WriteTargetTextFile(std::u16string_view directory, std::u16string_view stem,
                                           std::u16string_view number_text,
                                           std::u16string_view extension, std::u16string_view text,
                                           const RecordBody& body);

// Writes `bytes` as a converted item's file "<stem>--<number><extension>" in `directory`, by
// the same rule: written whole first, then moved to the first free name.
Result<std::u16string> WriteTargetFile(std::u16string_view directory, std::u16string_view stem,
                                       std::u16string_view number_text,
                                       std::u16string_view extension, std::string_view bytes);

// The same name rule, without creating the file: the first candidate that does not exist now
// (for writers that create the file themselves and refuse to replace one).
std::u16string FreeTargetPath(std::u16string_view directory, std::u16string_view stem,
                              std::u16string_view number_text, std::u16string_view extension);

// The name of a converted item's file: the subject made fit for a file name.
std::u16string TargetFileStem(std::u16string_view subject);

// The body as text for a UTF-16 text file: plain text (UTF-8) is decoded; HTML and RTF bytes
// become one code unit each, as they are. Stops at the first zero byte.
std::u16string BodyAsText(const RecordBody& body);

// Appends "<label><value>\r\n" when `value` is not empty.
void AppendLine(std::u16string& text, std::u16string_view label, std::u16string_view value);

}  // namespace bm

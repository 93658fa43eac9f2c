// Attachment export: names each attachment of an item, guesses missing extensions from the
// content, and in conversion mode writes the contents into the temp folder (e-mails) or beside
// the item's text file. The result is the list of the files' paths, one entry per attachment;
// it travels as a list, so no name is ever split or re-read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "mapi/records.h"
#include "pst/store.h"

namespace bm {

// The placeholder for a missing extension; sniffing replaces it, leftovers become ".txt".
inline constexpr std::u16string_view kPlaceholder = u"rdxves";

// What attachment export needs from the writer that calls it.
// Composes an embedded message into an RFC 822 file at the path given; false when it could not.
using EmbeddedComposer =
    std::function<bool(const pst::Message& message, const std::u16string& eml_path)>;

struct AttachmentContext {
  std::u16string temp_folder_path;
  bool conversion_mode = false;
  // When set (conversion mode), the files go into this folder instead, each named
  // `name_prefix` + its attachment name, never replacing a file that is there: the
  // attachments of an item that is written as a text file stay beside that file.
  std::u16string target_folder;
  std::u16string name_prefix;
  // File names in the temp folder that attachments must not take (the body file, the composed
  // message), so that no attachment overwrites them.
  std::vector<std::u16string> reserved_names;
  // The store the item comes from: it resolves the named properties of embedded messages.
  const pst::Store* store = nullptr;
  // Composes an embedded message into an RFC 822 file at the path given (conversion mode);
  // false when it could not. Without it, embedded messages get an entry but no file.
  EmbeddedComposer compose_embedded;
};

// The attachment files of one item.
struct AttachmentFiles {
  // One entry per data attachment and embedded message, in attachment order: the file's full
  // path, or empty when its file could not be written.
  std::vector<std::u16string> paths;
  // Why, for each file that could not be written whole (conversion mode).
  std::vector<std::u16string> failures;
  // For each path, the position of its attachment in the entries given.
  std::vector<std::size_t> entries;

  friend bool operator==(const AttachmentFiles&, const AttachmentFiles&) = default;
};

// The attachment files of `message`, whose attachments `entries` lists. An attachment that
// cannot be read gets an empty entry and its cause among the failures; one the store gives
// only in part keeps its file with what was readable, and its cause among the failures.
// References to outside files carry no content and get no entry.
AttachmentFiles ExportAttachments(const AttachmentContext& context, const pst::Message& message,
                                  const std::vector<mapi::AttachmentEntry>& entries);

// Writes the content of a by-value or OLE attachment, `size` bytes, as the working file `path`
// (made afresh, mode 0600: a file or link there is removed first). Why, when the store or the
// disk failed; a file cut short is removed.
Status WriteAttachmentContent(const pst::Attachment& attachment, std::uint64_t size,
                              const std::filesystem::path& path);

// The list as the text files and preview pages show it: each path followed by ";".
std::u16string AttachmentListText(const std::vector<std::u16string>& paths);

// A stored attachment name made safe as one file name in the temp folder: path separators and
// control characters become "_", and a name that is empty or only dots and blanks is empty
// (the caller generates one then).
std::u16string SanitiseAttachmentName(std::u16string_view stored);

// The name for attachment `position` (counted from 0): the sanitised stored name, or
// "Attactment<position+1>"; with the placeholder extension when it has no point.
std::u16string AttachmentName(std::u16string_view stored, int position);

// `name` with every placeholder replaced by the extension its first bytes suggest ("eml",
// "pdf", "gif"); unchanged when they suggest none.
std::u16string SniffedName(std::u16string name, std::span<const std::uint8_t> first_bytes);

// The file name that lands in the temp folder: leftover placeholders become ".txt", and the
// name is cut to fit the file-system limit, keeping its extension.
std::u16string FinalAttachmentName(std::u16string name);

}  // namespace bm

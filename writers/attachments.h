// Attachment export: names each attachment of an item, guesses missing extensions from the
// content, and in conversion mode writes the contents into the temp folder. The result is the
// attachment list: each full path followed by ";".
#pragma once

#include <libpff.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bm {

// The placeholder for a missing extension; sniffing replaces it, leftovers become ".txt".
inline constexpr std::u16string_view kPlaceholder = u"rdxves";

// What attachment export needs from the writer that calls it.
struct AttachmentContext {
  std::u16string temp_folder_path;
  bool conversion_mode = false;
  // File names in the temp folder that attachments must not take (the body file, the composed
  // message), so that no attachment overwrites them.
  std::vector<std::u16string> reserved_names;
  // Composes an embedded message into an RFC 822 file at the path given (conversion mode);
  // false when it could not. Without it, embedded messages get an entry but no file.
  std::function<bool(libpff_item_t* message, const std::u16string& eml_path)> compose_embedded;
};

// The attachment list of `item`; nothing when an attachment's type cannot be determined (the
// caller then has no list). Data attachments and embedded messages get an entry each.
std::optional<std::u16string> ExportAttachments(const AttachmentContext& context,
                                                libpff_item_t* item);

// The full path of the file for data attachment `attachment` under `name` (content sniffed
// when `name` ends in the placeholder). In conversion mode the content is copied there in
// pieces of at most 8192 bytes; nothing when the file cannot be opened.
std::optional<std::u16string> WriteAttachmentFile(const AttachmentContext& context,
                                                  std::u16string_view name,
                                                  libpff_item_t* attachment);

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

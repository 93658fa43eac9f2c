// The parts of an e-mail that both the e-mail writer and the embedded-message composer read.
#pragma once

#include <string>
#include <string_view>

#include "base/result.h"
#include "writers/item_body.h"
#include "writers/row_records.h"
#include "writers/writer_support.h"

namespace bm {

struct EmailTexts {
  CommonTexts common;
  std::u16string sender_name;     // 0x0C1A
  std::u16string sender_address;  // 0x0C1F
};

EmailTexts ReadEmailTexts(const mapi::EmailRecord& record);

// "From:Name <address > " (blanks as shown), or "From:Name" when there is no address.
std::u16string SenderText(std::u16string_view name, std::u16string_view address);

// "html", "rtf" or "txt": how the body file is read when the message is composed.
std::u16string BodyKindText(BodyKind kind);

// "Me<index>.html" for an HTML body, "Me<index>.txt" otherwise.
std::u16string BodyFileName(int item_index, BodyKind kind);

// Writes the body's bytes (without the terminating zero) to a new or emptied file at
// directory/name (a working file: mode 0600, never written through a link); the file is empty
// when there is no body. The full path, or why the file could not be written whole.
Result<std::u16string> WriteBodyFile(std::u16string_view directory, std::u16string_view name,
                                     const RecordBody& body);

}  // namespace bm

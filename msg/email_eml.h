// An e-mail's internet message (RFC 5322 / MIME, written with GMime), composed from its record
// and the stored message that holds its attachments:
//
//   auto record = mapi::ReadEmailRecord(store, message);
//   auto eml = ComposeEmailEml(store, message, *record);  // eml->bytes, eml->warnings
//
// Addresses come from the record's mailboxes, never from texts, so a name like "Doe, Jane" stays
// one mailbox; attachment names travel as values and are never split or taken for paths.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "mapi/records.h"
#include "pst/store.h"

namespace bm {

// How deep attached messages are composed inside each other; a deeper one is left out with a
// warning.
inline constexpr int kMaxEmlNesting = 32;

struct ComposedEml {
  std::string bytes;  // the message file
  // What the message could not carry (an attachment the store does not give, a nesting too
  // deep), one sentence each; empty when the message is whole.
  std::vector<std::string> warnings;
};

// Composes the message. An error only when GMime cannot write it.
Result<ComposedEml> ComposeEmailEml(const pst::Store& store, const pst::Message& message,
                                    const mapi::EmailRecord& record);

// The address a mailbox is reached at on the internet: its SMTP address (an Exchange entry's
// stored SMTP address); empty when it has none.
std::string InternetAddressOf(const mapi::Mailbox& mailbox);

// The MIME type for a file name's extension; application/octet-stream when unknown.
std::string ContentTypeForName(std::string_view file_name);

// The MIME charset name of a Windows code page ("utf-8", "windows-1252", "shift_jis");
// empty when the code page has no name here.
std::string CharsetOfCodePage(int code_page);

// The trace lines (Return-Path, Received, Received-SPF, Authentication-Results) of stored
// transport headers, unfolded, in their order: name and value.
std::vector<std::pair<std::string, std::string>> TraceHeaders(std::u16string_view headers);

}  // namespace bm

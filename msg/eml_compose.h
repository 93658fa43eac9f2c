// Composition of the RFC 5322 / MIME message from the texts the e-mail writer hands over.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mapi/body_kind.h"
#include "msg/hresult.h"

namespace bm {

// A display name and an address, both UTF-8; the address may be empty.
struct Mailbox {
  std::string name;
  std::string address;
  friend bool operator==(const Mailbox&, const Mailbox&) = default;
};

// A UTC time as the writer gives it: month/day/year hh:mm:ss.fffffffff.
struct DateParts {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::int32_t nanoseconds = 0;
};

// "From:Name <addr > " (or "From:Name", or without the "From:") into name and address.
Mailbox ParseSenderText(std::u16string_view sender_text);

// "Name [addr],Name2," into its entries. An entry ends at a comma that follows "]" or that is
// not followed by a blank, so "Doe, Jane [jane@x.org]," stays one entry.
std::vector<Mailbox> ParseRecipientList(std::u16string_view list);

// nullopt unless the text is a valid time in that form (the fraction may be absent).
std::optional<DateParts> ParseDateText(std::u16string_view date_text);

// The MIME type for a file name's extension; application/octet-stream when unknown.
std::string ContentTypeForName(std::string_view file_name);

// The body kind named by the writer's kind text; anything unknown counts as text.
BodyKind ParseBodyKind(std::u16string_view kind_text);

struct ComposeInput {
  std::string body;  // the body file's bytes
  BodyKind body_kind = BodyKind::kText;
  Mailbox sender;
  std::vector<Mailbox> to, cc, bcc;
  std::optional<DateParts> date;
  std::string subject;  // UTF-8
  std::vector<std::filesystem::path> attachments;
};

struct ComposeOutput {
  std::string message;  // the message file's bytes
  // Attachment files that could not be read (left out of the message).
  std::vector<std::filesystem::path> unreadable;
};

// Builds the message. E_OUTOFMEMORY/E_FAIL only when GMime cannot write it.
HResult ComposeMessage(const ComposeInput& input, ComposeOutput& output);

}  // namespace bm

// Item value formatting: how the properties of a stored item become the texts that the list,
// the row records, the text files and the composed messages show.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mapi/records.h"

namespace bm {

// To, CC and BCC entries of one e-mail: "Name [addr],".
struct RecipientLists {
  std::u16string to;
  std::u16string cc;
  std::u16string bcc;
};

// The text of a value by its stored type: 32-bit integers in signed decimal, floats in the
// value library's form, booleans "yes"/"no", strings as they are, FILETIMEs as
// "Jan 05, 2013 14:03:22.123456700". Nothing for an absent value or another type.
std::optional<std::u16string> FieldText(const mapi::FieldValue& value);

// The same, with a missing value given as the empty text (how every caller uses it).
std::u16string FieldTextOrEmpty(const mapi::FieldValue& value);

// A time's text as above; empty when absent or not a time the calendar holds.
std::u16string TimeText(const std::optional<mapi::StoredTime>& time);

// A 32-bit number's text; empty when absent.
std::u16string Int32TextOrEmpty(const std::optional<std::int32_t>& value);

// One word for the message flags, by the first set bit in a fixed order of tests ("Has
// attachments" before "Read"); nothing when the item has no flags.
std::optional<std::u16string> MessageFlagsText(const std::optional<std::int32_t>& flags);

// The text of the flag bits alone (the order of tests above); "Unread" when none is set.
std::u16string MessageFlagsWord(std::int32_t flags);

// The subject without the characters below 32 (the prefix markers, line breaks). An 8-bit
// subject was decoded with the message's code page when the record was read. Empty when there
// is none.
std::u16string SubjectText(const mapi::MessageRecord& record);

// The subject, or the conversation topic when the subject is empty.
std::u16string SubjectOrTopic(const mapi::MessageRecord& record);

// "Originator", "To", "CC", "BCC" or "Unknown" for a recipient type.
std::u16string RecipientTypeText(std::int32_t type);

// Appends "Name [address]," (or "Name,") to the To, CC or BCC list for each recipient. No
// recipients leave the lists as they are.
void CollectRecipients(const std::vector<mapi::Recipient>& recipients, RecipientLists& lists);

// An address counts only with more than one point or at sign in total; a single at sign or an
// Exchange distinguished name without points does not.
bool IsUsableAddress(std::u16string_view address);

// "Jan 05, 2013 14:03:22.123456700" becomes "01/05/2013 14:03:22.123456700".
std::u16string RewriteDateText(std::u16string text);

// The subject made fit for a file name: the characters \ / : ! ? * < > | and the double quote,
// and every control character, become blanks.
std::u16string FileNameSubject(std::u16string_view subject);

}  // namespace bm

// Item value formatting: how the properties of a stored item become the texts that the list,
// the row records, the text files and the composed messages show.
#pragma once

#include <libpff.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace bm {

struct RecipientLists;

// Property identifiers the writers read (the upper half of the MAPI tag). Identifiers from
// 0x8000 up are LIDs of named properties; libpff resolves them through the name-to-id map.
namespace prop {
inline constexpr std::uint32_t kSubject = 0x0037;
inline constexpr std::uint32_t kConversationTopic = 0x0070;
inline constexpr std::uint32_t kSenderName = 0x0C1A;
inline constexpr std::uint32_t kSenderEmailAddress = 0x0C1F;
inline constexpr std::uint32_t kRecipientType = 0x0C15;
inline constexpr std::uint32_t kMessageFlags = 0x0E07;
inline constexpr std::uint32_t kMessageSize = 0x0E08;
inline constexpr std::uint32_t kDisplayName = 0x3001;
inline constexpr std::uint32_t kEmailAddress = 0x3003;
inline constexpr std::uint32_t kCreationTime = 0x3007;
inline constexpr std::uint32_t kAttachLongFilename = 0x3707;
inline constexpr std::uint32_t kRecipientDisplayName = 0x5FF6;
}  // namespace prop

// The text of one property of record set `record_set` (0 for the item's own properties), by
// its stored value type: 32-bit integers in signed decimal, floats in the value library's
// form, booleans "yes"/"no", strings as they are, FILETIMEs as "Jan 05, 2013 14:03:22.123456700".
// Nothing when the property is missing, unreadable or of another type.
std::optional<std::u16string> PropertyText(libpff_item_t* item, int record_set,
                                           std::uint32_t property_id);

// The same, with a missing value given as the empty text (how every caller uses it).
std::u16string PropertyTextOrEmpty(libpff_item_t* item, int record_set, std::uint32_t property_id);

// One word for the message flags, by the first set bit in a fixed order of tests ("Has
// attachments" before "Read"); nothing when the flags cannot be read.
std::optional<std::u16string> MessageFlagsText(libpff_item_t* item);

// The text of the flag bits alone (the order of tests above); "Unread" when none is set.
std::u16string MessageFlagsWord(std::int32_t flags);

// The subject without the characters below 32 (the prefix markers, line breaks). An 8-bit
// subject is decoded with the message's code page. Empty when there is none.
std::u16string SubjectText(libpff_item_t* item);

// The subject, or the conversation topic when the subject is empty.
std::u16string SubjectOrTopic(libpff_item_t* item);

// "Originator", "To", "CC", "BCC" or "Unknown" for the recipient type of a record set of a
// recipients item (0 when absent).
std::u16string RecipientTypeText(libpff_item_t* recipients, int record_set);

// Appends "Name [address]," (or "Name,") to the To, CC or BCC list for each recipient of the
// item. An item without recipients leaves the lists as they are.
void CollectRecipients(libpff_item_t* item, RecipientLists& lists);

// An address counts only with more than one point or at sign in total; a single at sign or an
// Exchange distinguished name without points does not.
bool IsUsableAddress(std::u16string_view address);

// "Jan 05, 2013 14:03:22.123456700" becomes "01/05/2013 14:03:22.123456700".
std::u16string RewriteDateText(std::u16string text);

// The subject made fit for a file name: the characters \ / : ! ? * < > | and the double quote,
// and every control character, become blanks.
std::u16string FileNameSubject(std::u16string_view subject);

}  // namespace bm

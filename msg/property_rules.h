// Which stored properties an MSG copy carries, and how each type is laid out in the MSG.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "pst/store.h"

namespace bm::msg {

// Where a property bag lies; the same id can mean different things on each.
enum class ObjectKind { kMessage, kEmbeddedMessage, kRecipient, kAttachment };

// Why a stored property is left out of the MSG; nullopt when it is copied. Only the store's own
// bookkeeping is left out (the list in property_rules.cpp); named properties without a name
// and PT_OBJECT values are decided by the writer.
std::optional<std::string_view> LeftOutReason(ObjectKind kind, pst::PropertyInfo info);

// How a property type is stored in an MSG (MS-OXMSG 2.1).
enum class Layout {
  kFixed,             // in the property stream's 8-byte value field
  kVariable,          // its own stream (strings, binaries, PT_CLSID, ...)
  kMultipleFixed,     // one stream of packed values
  kMultipleVariable,  // a length stream and one stream per value
  kObject,            // a sub-storage (embedded message, OLE storage)
  kUnsupported,       // a type an MSG cannot hold
};
Layout LayoutOf(std::uint16_t type);

// The size of a fixed-size value in the store and in the MSG value field (PT_BOOLEAN 1,
// PT_I2 2, ...); 0 for other types.
std::size_t FixedSize(std::uint16_t type);

}  // namespace bm::msg

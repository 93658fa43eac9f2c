// Turns an RFC 5322 / MIME message (parsed with GMime) into the MAPI properties of an MSG
// message: headers, recipients, bodies (plain, HTML, compressed RTF), attachments and attached
// messages.
#pragma once

#include <string>
#include <string_view>

#include "msg/hresult.h"
#include "msg/mapi_properties.h"

namespace bm {

// Fills `out` (its message class is left to the caller) from the message file's bytes.
// MAPI_E_CORRUPT_DATA when the bytes hold no message.
HResult ImportEml(std::string_view eml, MessageContent& out);

// FILETIME ticks of a Unix time in microseconds.
mapi::FileTime FileTimeFromUnixMicroseconds(long long microseconds);

}  // namespace bm

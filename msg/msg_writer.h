// Writes a message as an Outlook MSG file: an MS-OXMSG property storage in an OLE2 compound
// file, produced with libgsf.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "msg/hresult.h"
#include "msg/mapi_properties.h"

namespace bm {

// Messages nested deeper than this are not written as message objects (the importer attaches
// them as files instead), which bounds the recursion of both sides.
inline constexpr int kMaxEmbeddingDepth = 8;

// The whole compound file in memory; E_FAIL when libgsf refuses a stream.
HResult SerialiseMsg(const MessageContent& message, std::vector<std::uint8_t>& out);

// Serialises `message` and stores it at `target` through a temporary file in the same
// directory, so that a failed write leaves nothing. An existing `target` is never replaced.
HResult WriteMsgFile(const MessageContent& message, const std::filesystem::path& target);

}  // namespace bm

// Compressed RTF (the LZFu / MELA container Outlook stores in PidTagRtfCompressed).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace bm {

// Compresses RTF text into the LZFu form: a 16-byte header (sizes, "LZFu", CRC) followed by
// LZ-compressed data that uses the standard pre-loaded dictionary.
std::vector<std::uint8_t> CompressRtf(std::span<const std::uint8_t> rtf);

// Decompresses an LZFu or MELA (stored uncompressed) container. Returns nothing when the
// header, the CRC or the compressed stream is malformed; never reads or writes out of bounds.
std::optional<std::vector<std::uint8_t>> DecompressRtf(std::span<const std::uint8_t> data);

// The CRC-32 Outlook uses in compressed RTF and in PST files (reflected polynomial 0xEDB88320,
// initial value 0, no final XOR), continuing from `crc`.
std::uint32_t OutlookCrc32(std::span<const std::uint8_t> data, std::uint32_t crc = 0);

}  // namespace bm

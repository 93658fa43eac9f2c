#include "msg/name_map.h"

#include <cstdio>

#include "pst/format.h"

namespace bm::msg {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kHashStreamCount = 0x1F;
constexpr std::size_t kMaxNames = 0x7FFF;

constexpr pst::Guid MakeGuid(std::uint8_t first) {
  return pst::Guid{{first, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00,
                    0x00, 0x00, 0x46}};
}

void PutU16(Bytes& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutU32(Bytes& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

Bytes Utf16Le(const std::u16string& text) {
  Bytes out;
  out.reserve(text.size() * 2);
  for (const char16_t unit : text) PutU16(out, static_cast<std::uint16_t>(unit));
  return out;
}

}  // namespace

const pst::Guid kPsMapi = MakeGuid(0x28);
const pst::Guid kPsPublicStrings = MakeGuid(0x29);

std::string StreamName(std::uint32_t tag) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(tag));
  return std::string("__substg1.0_") + text;
}

std::optional<std::uint16_t> NameMap::IdFor(const pst::PropertyName& name) {
  if (const auto found = ids_.find(name); found != ids_.end()) return found->second;
  if (names_.size() >= kMaxNames) return std::nullopt;
  const auto id = static_cast<std::uint16_t>(0x8000 + names_.size());
  ids_.emplace(name, id);
  names_.push_back(name);
  return id;
}

NameIdStreams NameMap::Streams() const {
  std::vector<pst::Guid> guids;
  Bytes guid_stream, entry_stream, string_stream;
  std::map<std::uint32_t, Bytes> hashed;
  for (std::size_t index = 0; index < names_.size(); ++index) {
    const pst::PropertyName& name = names_[index];
    std::uint32_t guid_index = 0;
    if (name.set == kPsMapi) {
      guid_index = 1;
    } else if (name.set == kPsPublicStrings) {
      guid_index = 2;
    } else {
      std::size_t at = 0;
      while (at < guids.size() && guids[at] != name.set) ++at;
      if (at == guids.size()) {
        guids.push_back(name.set);
        guid_stream.insert(guid_stream.end(), name.set.bytes.begin(), name.set.bytes.end());
      }
      guid_index = static_cast<std::uint32_t>(3 + at);
    }
    const auto* text = std::get_if<std::u16string>(&name.id);
    const std::uint32_t kind = text != nullptr ? 1 : 0;
    std::uint32_t identifier = 0;  // the LID, or the name's offset in the string stream
    std::uint32_t hash_key = 0;    // the LID, or the CRC-32 of the name
    if (text != nullptr) {
      const Bytes utf16 = Utf16Le(*text);
      identifier = static_cast<std::uint32_t>(string_stream.size());
      PutU32(string_stream, static_cast<std::uint32_t>(utf16.size()));
      string_stream.insert(string_stream.end(), utf16.begin(), utf16.end());
      string_stream.resize((string_stream.size() + 3) & ~std::size_t{3}, 0);
      hash_key = pst::format::Crc(utf16);
    } else {
      identifier = std::get<std::uint32_t>(name.id);
      hash_key = identifier;
    }
    const std::uint32_t index_and_kind =
        static_cast<std::uint32_t>(index) << 16 | guid_index << 1 | kind;
    PutU32(entry_stream, identifier);
    PutU32(entry_stream, index_and_kind);
    const std::uint32_t stream_id =
        0x1000 + (hash_key ^ (guid_index << 1 | kind)) % kHashStreamCount;
    Bytes& bucket = hashed[stream_id << 16 | 0x0102];
    PutU32(bucket, hash_key);
    PutU32(bucket, index_and_kind);
  }
  NameIdStreams streams;
  streams[StreamName(0x00020102)] = std::move(guid_stream);
  streams[StreamName(0x00030102)] = std::move(entry_stream);
  streams[StreamName(0x00040102)] = std::move(string_stream);
  for (auto& [tag, bytes] : hashed) streams[StreamName(tag)] = std::move(bytes);
  return streams;
}

}  // namespace bm::msg

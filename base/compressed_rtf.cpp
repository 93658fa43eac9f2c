#include "base/compressed_rtf.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace bm {
namespace {

constexpr std::uint32_t kTypeCompressed = 0x75465A4C;    // "LZFu"
constexpr std::uint32_t kTypeUncompressed = 0x414C454D;  // "MELA"
constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kDictionarySize = 4096;
constexpr std::size_t kDictionaryMask = kDictionarySize - 1;
constexpr std::size_t kMaxMatch = 17;  // 4-bit length field, plus 2
constexpr int kMaxChainSteps = 256;

// Every compressor and decompressor starts from this dictionary content.
constexpr std::string_view kPreload =
    "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern "
    "\\fscript \\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0"
    "\\blue0\r\n\\par \\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
static_assert(kPreload.size() == 207);

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr auto kCrcTable = MakeCrcTable();

std::uint32_t ReadLe32(std::span<const std::uint8_t> data, std::size_t at) {
  return std::uint32_t{data[at]} | std::uint32_t{data[at + 1]} << 8 |
         std::uint32_t{data[at + 2]} << 16 | std::uint32_t{data[at + 3]} << 24;
}

void WriteLe32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The circular dictionary shared by both directions.
class Dictionary {
 public:
  Dictionary() { std::copy(kPreload.begin(), kPreload.end(), bytes_.begin()); }

  std::uint8_t At(std::size_t position) const { return bytes_[position & kDictionaryMask]; }
  std::size_t write_position() const { return write_; }
  std::size_t filled() const { return filled_; }

  void Put(std::uint8_t byte) {
    bytes_[write_] = byte;
    write_ = (write_ + 1) & kDictionaryMask;
    filled_ = std::min(filled_ + 1, kDictionarySize);
  }

 private:
  std::array<std::uint8_t, kDictionarySize> bytes_{};
  std::size_t write_ = kPreload.size();
  std::size_t filled_ = kPreload.size();
};

struct Match {
  std::size_t offset = 0;
  std::size_t length = 0;
};

// Greedy LZ encoder over the dictionary; hash chains on two-byte keys find candidates and
// every candidate is verified byte by byte exactly as the decoder will replay it.
class Compressor {
 public:
  explicit Compressor(std::span<const std::uint8_t> input) : input_(input) {
    head_.fill(-1);
    prev_.fill(-1);
    for (std::size_t p = 0; p + 1 < kPreload.size(); ++p) Insert(p);
  }

  std::vector<std::uint8_t> Run() {
    std::vector<std::uint8_t> out(kHeaderSize, 0);
    out.reserve(kHeaderSize + input_.size() + input_.size() / 8 + 8);
    bool done = false;
    while (!done) {
      const std::size_t control_at = out.size();
      out.push_back(0);
      std::uint8_t control = 0;
      for (int bit = 0; bit < 8; ++bit) {
        if (pos_ >= input_.size()) {
          // The end marker: a reference to the current write position.
          control |= static_cast<std::uint8_t>(1u << bit);
          PushToken(out, dictionary_.write_position(), 0);
          done = true;
          break;
        }
        const Match match = FindLongestMatch();
        if (match.length >= 2) {
          control |= static_cast<std::uint8_t>(1u << bit);
          PushToken(out, match.offset, match.length);
          for (std::size_t i = 0; i < match.length; ++i) Emit(input_[pos_ + i]);
          pos_ += match.length;
        } else {
          out.push_back(input_[pos_]);
          Emit(input_[pos_]);
          ++pos_;
        }
      }
      out[control_at] = control;
    }
    const std::span<const std::uint8_t> body(out.data() + kHeaderSize, out.size() - kHeaderSize);
    WriteLe32(out, 0, static_cast<std::uint32_t>(out.size() - 4));
    WriteLe32(out, 4, static_cast<std::uint32_t>(input_.size()));
    WriteLe32(out, 8, kTypeCompressed);
    WriteLe32(out, 12, OutlookCrc32(body));
    return out;
  }

 private:
  static void PushToken(std::vector<std::uint8_t>& out, std::size_t offset, std::size_t length) {
    const auto token = static_cast<std::uint16_t>((offset << 4) | (length == 0 ? 0 : length - 2));
    out.push_back(static_cast<std::uint8_t>(token >> 8));
    out.push_back(static_cast<std::uint8_t>(token & 0xFF));
  }

  static std::size_t Key(std::uint8_t a, std::uint8_t b) { return std::size_t{a} << 8 | b; }

  void Insert(std::size_t position) {
    const std::size_t key = Key(dictionary_.At(position), dictionary_.At(position + 1));
    prev_[position] = head_[key];
    head_[key] = static_cast<std::int16_t>(position);
  }

  void Emit(std::uint8_t byte) {
    dictionary_.Put(byte);
    // The byte before the one just written now has its two-byte key complete.
    Insert((dictionary_.write_position() + kDictionarySize - 2) & kDictionaryMask);
  }

  // Length of the match at dictionary `offset`, replaying the decoder's byte-by-byte copy
  // (a match may read bytes it has itself just written).
  std::size_t MatchLength(std::size_t offset, std::size_t max_length) const {
    const std::size_t write = dictionary_.write_position();
    std::size_t length = 0;
    while (length < max_length) {
      const std::size_t source = (offset + length) & kDictionaryMask;
      const std::size_t distance = (source - write) & kDictionaryMask;
      const std::uint8_t byte =
          distance < length ? input_[pos_ + distance] : dictionary_.At(source);
      if (byte != input_[pos_ + length]) break;
      ++length;
    }
    return length;
  }

  Match FindLongestMatch() const {
    Match best;
    const std::size_t max_length = std::min(kMaxMatch, input_.size() - pos_);
    if (max_length < 2) return best;
    const std::size_t write = dictionary_.write_position();
    int candidate = head_[Key(input_[pos_], input_[pos_ + 1])];
    for (int steps = 0; candidate >= 0 && steps < kMaxChainSteps; ++steps) {
      const auto offset = static_cast<std::size_t>(candidate);
      // The write position itself would read as the end marker; unfilled slots are never used
      // so that decoders which do not zero the dictionary agree.
      if (offset != write && offset < dictionary_.filled()) {
        const std::size_t length = MatchLength(offset, max_length);
        if (length > best.length) {
          best = {offset, length};
          if (length == max_length) break;
        }
      }
      const int next = prev_[offset];
      if (next == candidate) break;
      candidate = next;
    }
    return best;
  }

  std::span<const std::uint8_t> input_;
  std::size_t pos_ = 0;
  Dictionary dictionary_;
  std::array<std::int16_t, 65536> head_{};
  std::array<std::int16_t, kDictionarySize> prev_{};
};

std::optional<std::vector<std::uint8_t>> Decompress(std::span<const std::uint8_t> body,
                                                    std::size_t raw_size) {
  std::vector<std::uint8_t> out;
  out.reserve(std::min<std::size_t>(raw_size, body.size() * 9));
  Dictionary dictionary;
  std::size_t i = 0;
  while (i < body.size()) {
    const std::uint8_t control = body[i++];
    for (int bit = 0; bit < 8; ++bit) {
      if (i >= body.size()) break;
      if ((control & (1u << bit)) == 0) {
        if (out.size() >= raw_size) return std::nullopt;
        out.push_back(body[i]);
        dictionary.Put(body[i]);
        ++i;
        continue;
      }
      if (i + 2 > body.size()) return std::nullopt;
      const unsigned token = unsigned{body[i]} << 8 | body[i + 1];
      i += 2;
      const std::size_t offset = token >> 4;
      const std::size_t length = (token & 0xF) + 2;
      if (offset == dictionary.write_position()) {
        if (out.size() != raw_size) return std::nullopt;
        return out;
      }
      if (length > raw_size - out.size()) return std::nullopt;
      for (std::size_t k = 0; k < length; ++k) {
        const std::uint8_t byte = dictionary.At(offset + k);
        out.push_back(byte);
        dictionary.Put(byte);
      }
    }
  }
  // Some writers stop without an end marker once the announced size is reached.
  if (out.size() != raw_size) return std::nullopt;
  return out;
}

}  // namespace

std::uint32_t OutlookCrc32(std::span<const std::uint8_t> data, std::uint32_t crc) {
  for (const std::uint8_t byte : data) crc = kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return crc;
}

std::vector<std::uint8_t> CompressRtf(std::span<const std::uint8_t> rtf) {
  return Compressor(rtf).Run();
}

std::optional<std::vector<std::uint8_t>> DecompressRtf(std::span<const std::uint8_t> data) {
  if (data.size() < kHeaderSize) return std::nullopt;
  const std::uint32_t compressed_size = ReadLe32(data, 0);
  const std::uint32_t raw_size = ReadLe32(data, 4);
  const std::uint32_t type = ReadLe32(data, 8);
  const std::uint32_t crc = ReadLe32(data, 12);
  if (compressed_size < kHeaderSize - 4 || compressed_size > data.size() - 4) return std::nullopt;
  const auto body = data.subspan(kHeaderSize, compressed_size - (kHeaderSize - 4));
  if (type == kTypeUncompressed) {
    if (raw_size > body.size()) return std::nullopt;
    return std::vector<std::uint8_t>(body.begin(), body.begin() + raw_size);
  }
  if (type != kTypeCompressed || OutlookCrc32(body) != crc) return std::nullopt;
  return Decompress(body, raw_size);
}

}  // namespace bm

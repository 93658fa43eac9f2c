// Constants and byte helpers of the PST layout (MS-PST), shared by the reader, pstgen and its checker.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pst::format {

// Node id types (low five bits of a NID).
enum NidType : std::uint32_t {
  kNidTypeHid = 0x00,
  kNidTypeInternal = 0x01,
  kNidTypeNormalFolder = 0x02,
  kNidTypeSearchFolder = 0x03,
  kNidTypeNormalMessage = 0x04,
  kNidTypeAttachment = 0x05,
  kNidTypeAssocMessage = 0x08,
  kNidTypeHierarchyTable = 0x0D,
  kNidTypeContentsTable = 0x0E,
  kNidTypeAssocContentsTable = 0x0F,
  kNidTypeAttachmentTable = 0x11,
  kNidTypeRecipientTable = 0x12,
  kNidTypeLtp = 0x1F,
};

constexpr std::uint32_t MakeNid(std::uint32_t type, std::uint32_t index) {
  return index << 5 | type;
}
constexpr std::uint32_t NidType(std::uint32_t nid) {
  return nid & 0x1F;
}
constexpr std::uint32_t NidIndex(std::uint32_t nid) {
  return nid >> 5;
}
constexpr std::uint32_t WithType(std::uint32_t nid, std::uint32_t type) {
  return (nid & ~0x1Fu) | type;
}

// Well-known nodes.
inline constexpr std::uint32_t kNidMessageStore = 0x21;
inline constexpr std::uint32_t kNidNameToIdMap = 0x61;
inline constexpr std::uint32_t kNidNormalFolderTemplate = 0xA1;
inline constexpr std::uint32_t kNidSearchFolderTemplate = 0xC1;
inline constexpr std::uint32_t kNidRootFolder = 0x122;
inline constexpr std::uint32_t kNidSearchManagementQueue = 0x1E1;
inline constexpr std::uint32_t kNidSearchActivityList = 0x201;
inline constexpr std::uint32_t kNidSearchDomainObject = 0x261;
inline constexpr std::uint32_t kNidHierarchyTableTemplate = 0x60D;
inline constexpr std::uint32_t kNidContentsTableTemplate = 0x60E;
inline constexpr std::uint32_t kNidAssocContentsTableTemplate = 0x60F;
inline constexpr std::uint32_t kNidSearchContentsTableTemplate = 0x610;
inline constexpr std::uint32_t kNidAttachmentTable = 0x671;
inline constexpr std::uint32_t kNidRecipientTable = 0x692;

// File layout.
inline constexpr std::size_t kHeaderSize = 564;
inline constexpr std::uint64_t kFirstAMapOffset = 0x4400;
inline constexpr std::size_t kPageSize = 512;
inline constexpr std::size_t kPageDataSize = 496;
inline constexpr std::uint64_t kAMapCoverage = 496 * 8 * 64;  // 253,952 bytes per AMap
inline constexpr std::uint64_t kFirstFMapAMap = 128;          // AMap index of the first FMap
inline constexpr std::uint64_t kFMapInterval = 496;           // AMaps covered by one FMap
inline constexpr std::uint64_t kFirstFPMapAMap = 128 * 64;
inline constexpr std::uint64_t kFPMapInterval = 496 * 64;
inline constexpr std::size_t kSlotSize = 64;  // allocation granularity

// Blocks.
inline constexpr std::size_t kBlockTrailerSize = 16;
inline constexpr std::size_t kMaxBlockData = 8176;
inline constexpr std::size_t kMaxBlockSize = 8192;
inline constexpr std::uint64_t kBidInternal = 0x2;  // XBLOCK, XXBLOCK, SLBLOCK, SIBLOCK
inline constexpr std::size_t kXBlockHeader = 8;
inline constexpr std::size_t kMaxXBlockEntries = (kMaxBlockData - kXBlockHeader) / 8;  // 1021
inline constexpr std::size_t kSlEntrySize = 24;
inline constexpr std::size_t kMaxSlEntries = (kMaxBlockData - 8) / kSlEntrySize;  // 340
inline constexpr std::size_t kSiEntrySize = 16;
inline constexpr std::size_t kMaxSiEntries = (kMaxBlockData - 8) / kSiEntrySize;  // 510

// B-tree pages.
enum PageType : std::uint8_t {
  kPageBbt = 0x80,
  kPageNbt = 0x81,
  kPageFMap = 0x82,
  kPagePMap = 0x83,
  kPageAMap = 0x84,
  kPageFPMap = 0x85,
  kPageDList = 0x86,
};
inline constexpr std::uint64_t kDListOffset = 0x4200;
inline constexpr std::size_t kBtEntriesSize = 488;
inline constexpr std::size_t kBtEntrySize = 24;   // BTENTRY and BBTENTRY
inline constexpr std::size_t kNbtEntrySize = 32;  // NBTENTRY

// Heap-on-node.
inline constexpr std::uint8_t kHeapSignature = 0xEC;
inline constexpr std::uint8_t kClientTc = 0x7C;
inline constexpr std::uint8_t kClientBth = 0xB5;
inline constexpr std::uint8_t kClientPc = 0xBC;
inline constexpr std::size_t kMaxHeapAllocation = 3580;

std::uint32_t Crc(std::span<const std::uint8_t> data);
constexpr std::uint16_t Signature(std::uint64_t ib, std::uint64_t bid) {
  const std::uint64_t v = ib ^ bid;
  return static_cast<std::uint16_t>((v >> 16) ^ v);
}

// The "compressible" byte permutation applied to external data blocks.
void Encode(std::span<std::uint8_t> data);
void Decode(std::span<std::uint8_t> data);

// Little-endian field access.
inline void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void Put64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::uint16_t Get16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t Get32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}
inline std::uint64_t Get64(const std::uint8_t* p) {
  return std::uint64_t{Get32(p)} | std::uint64_t{Get32(p + 4)} << 32;
}

// Appends little-endian values to a byte vector.
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<std::uint8_t>& out) : out_(out) {}
  ByteWriter& U8(std::uint8_t v) {
    out_.push_back(v);
    return *this;
  }
  ByteWriter& U16(std::uint16_t v) {
    return U8(static_cast<std::uint8_t>(v)).U8(static_cast<std::uint8_t>(v >> 8));
  }
  ByteWriter& U32(std::uint32_t v) {
    return U16(static_cast<std::uint16_t>(v)).U16(static_cast<std::uint16_t>(v >> 16));
  }
  ByteWriter& U64(std::uint64_t v) {
    return U32(static_cast<std::uint32_t>(v)).U32(static_cast<std::uint32_t>(v >> 32));
  }
  ByteWriter& Raw(std::span<const std::uint8_t> bytes) {
    out_.insert(out_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  ByteWriter& Zeros(std::size_t n) {
    out_.insert(out_.end(), n, 0);
    return *this;
  }

 private:
  std::vector<std::uint8_t>& out_;
};

constexpr std::size_t AlignUp(std::size_t value, std::size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// Size on disk of a block holding `data_size` bytes (data, padding, trailer).
constexpr std::size_t BlockSize(std::size_t data_size) {
  return AlignUp(data_size + kBlockTrailerSize, kSlotSize);
}

// Map pages that open AMap range `index` (AMap itself, then PMap, FMap, FPMap when due).
struct MapPages {
  bool pmap = false;
  bool fmap = false;
  bool fpmap = false;
  std::size_t count() const { return 1 + pmap + fmap + fpmap; }
};
constexpr MapPages MapPagesOf(std::uint64_t amap_index) {
  MapPages pages;
  pages.pmap = amap_index % 8 == 0;
  pages.fmap = amap_index >= kFirstFMapAMap && (amap_index - kFirstFMapAMap) % kFMapInterval == 0;
  pages.fpmap =
      amap_index >= kFirstFPMapAMap && (amap_index - kFirstFPMapAMap) % kFPMapInterval == 0;
  return pages;
}
constexpr std::uint64_t AMapOffset(std::uint64_t amap_index) {
  return kFirstAMapOffset + amap_index * kAMapCoverage;
}
constexpr std::uint64_t AMapIndex(std::uint64_t offset) {
  return (offset - kFirstAMapOffset) / kAMapCoverage;
}

}  // namespace pst::format

// Constants and byte helpers of the PST layout (MS-PST), shared by the reader, pstgen and its
// checker.
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
inline constexpr std::uint64_t kAMapCoverage = 496ULL * 8 * 64;  // 253,952 bytes per AMap
inline constexpr std::uint64_t kFirstFMapAMap = 128;             // AMap index of the first FMap
inline constexpr std::uint64_t kFMapInterval = 496;              // AMaps covered by one FMap
inline constexpr std::uint64_t kFirstFPMapAMap = 128ULL * 64;
inline constexpr std::uint64_t kFPMapInterval = 496ULL * 64;
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

// ---------------------------------------------------------------------------
// File formats and the "high" (cyclic) block encoding.

// The two on-disk formats: Unicode (Outlook 2003 and later, 64-bit ids and offsets) and ANSI
// (Outlook 97-2002, 32-bit ids and offsets, 8-bit strings).
enum class Format : std::uint8_t { kUnicode, kAnsi };

// Values of the header's bCryptMethod.
enum CryptMethod : std::uint8_t {
  kCryptNone = 0x00,
  kCryptPermute = 0x01,  // the "compressible" permutation (Encode/Decode)
  kCryptCyclic = 0x02,   // the "high" cyclic encoding (CyclicEncode/CyclicDecode)
};

// The cyclic encoding of an external block's data; `key` is the low 32 bits of the block's
// BID. The transform is its own inverse, so both names run the same steps; two names keep
// call sites readable.
void CyclicEncode(std::span<std::uint8_t> data, std::uint32_t key);
void CyclicDecode(std::span<std::uint8_t> data, std::uint32_t key);

// Everything that differs between the two formats: sizes of ids and offsets, where the
// header fields lie, and the sizes of pages, blocks and their entries. Offsets inside
// structures are from the structure's start. The Unicode constants above equal the fields of
// kUnicodeLayout and stay for code that only knows that format.
struct Layout {
  Format format;
  std::uint16_t version;  // wVer written: 23 Unicode, 14 ANSI
  std::size_t id_size;    // bytes of a BID and of a file offset (IB): 8 or 4

  // HEADER.
  std::size_t header_size;
  std::size_t header_next_bid;        // bidNextB
  std::size_t header_next_page_bid;   // bidNextP
  std::size_t header_unique;          // dwUnique
  std::size_t header_nid_high_water;  // rgnid[32]
  std::size_t header_root;            // ROOT
  std::size_t header_free_map;        // rgbFM (128 bytes)
  std::size_t header_free_page_map;   // rgbFP (128 bytes)
  std::size_t header_sentinel;        // bSentinel (0x80)
  std::size_t header_crypt_method;    // bCryptMethod
  std::size_t header_crc_full;        // dwCRCFull, Unicode only (0 when absent)
  std::size_t header_crc_full_size;   // bytes from offset 8 it covers (516)

  // ROOT, relative to header_root.
  std::size_t root_size;
  std::size_t root_file_eof;    // ibFileEof
  std::size_t root_amap_last;   // ibAMapLast
  std::size_t root_amap_free;   // cbAMapFree
  std::size_t root_pmap_free;   // cbPMapFree
  std::size_t root_nbt;         // BREFNBT (bid, then ib)
  std::size_t root_bbt;         // BREFBBT
  std::size_t root_amap_valid;  // fAMapValid

  // Pages (512 bytes): data, then PAGETRAILER (ptype, ptypeRepeat, wSig, then bid and
  // dwCRC in format order). dwCRC covers the page_data_size bytes before the trailer.
  std::size_t page_data_size;
  std::size_t page_trailer_size;
  std::size_t page_trailer_crc;  // relative to the trailer
  std::size_t page_trailer_bid;
  std::size_t amap_bits;  // where an AMap/PMap page's bitmap starts (ANSI pads 4 bytes)

  // BTPAGE: rgentries, then cEnt, cEntMax, cbEnt, cLevel.
  std::size_t bt_entries_size;       // also the offset of cEnt
  std::size_t bt_branch_entry_size;  // BTENTRY: key, BREF
  std::size_t bbt_entry_size;        // BBTENTRY: BREF, cb, cRef
  std::size_t nbt_entry_size;        // NBTENTRY: nid, bidData, bidSub, nidParent

  // Blocks: data, padding, then BLOCKTRAILER (cb, wSig, then bid and dwCRC in format order).
  std::size_t block_trailer_size;
  std::size_t block_trailer_crc;  // relative to the trailer
  std::size_t block_trailer_bid;
  std::size_t max_block_data;
  std::size_t xblock_header;  // btype, cLevel, cEnt, lcbTotal
  std::size_t max_xblock_entries;
  std::size_t sl_header;      // btype, cLevel, cEnt (and dwPadding in Unicode)
  std::size_t sl_entry_size;  // SLENTRY: nid, bidData, bidSub
  std::size_t max_sl_entries;
  std::size_t si_entry_size;  // SIENTRY: nid, bid
  std::size_t max_si_entries;

  bool has_dlist;  // the density list page at kDListOffset (Unicode only)

  std::size_t bt_max_entries(std::size_t entry_size) const { return bt_entries_size / entry_size; }
  // Size on disk of a block holding `data_size` bytes (data, padding, trailer).
  std::size_t block_size(std::size_t data_size) const {
    return AlignUp(data_size + block_trailer_size, kSlotSize);
  }
  // A BID or IB of this format's width.
  void PutId(std::uint8_t* p, std::uint64_t v) const {
    if (id_size == 8) {
      Put64(p, v);
    } else {
      Put32(p, static_cast<std::uint32_t>(v));
    }
  }
  std::uint64_t GetId(const std::uint8_t* p) const { return id_size == 8 ? Get64(p) : Get32(p); }
};

inline constexpr Layout kUnicodeLayout{
    .format = Format::kUnicode,
    .version = 23,
    .id_size = 8,
    .header_size = 564,
    .header_next_bid = 516,
    .header_next_page_bid = 32,
    .header_unique = 40,
    .header_nid_high_water = 44,
    .header_root = 180,
    .header_free_map = 256,
    .header_free_page_map = 384,
    .header_sentinel = 512,
    .header_crypt_method = 513,
    .header_crc_full = 524,
    .header_crc_full_size = 516,
    .root_size = 72,
    .root_file_eof = 4,
    .root_amap_last = 12,
    .root_amap_free = 20,
    .root_pmap_free = 28,
    .root_nbt = 36,
    .root_bbt = 52,
    .root_amap_valid = 68,
    .page_data_size = 496,
    .page_trailer_size = 16,
    .page_trailer_crc = 4,
    .page_trailer_bid = 8,
    .amap_bits = 0,
    .bt_entries_size = 488,
    .bt_branch_entry_size = 24,
    .bbt_entry_size = 24,
    .nbt_entry_size = 32,
    .block_trailer_size = 16,
    .block_trailer_crc = 4,
    .block_trailer_bid = 8,
    .max_block_data = 8176,
    .xblock_header = 8,
    .max_xblock_entries = (8176 - 8) / 8,
    .sl_header = 8,
    .sl_entry_size = 24,
    .max_sl_entries = (8176 - 8) / 24,
    .si_entry_size = 16,
    .max_si_entries = (8176 - 8) / 16,
    .has_dlist = true,
};

inline constexpr Layout kAnsiLayout{
    .format = Format::kAnsi,
    .version = 14,
    .id_size = 4,
    .header_size = 512,
    .header_next_bid = 24,
    .header_next_page_bid = 28,
    .header_unique = 32,
    .header_nid_high_water = 36,
    .header_root = 164,
    .header_free_map = 204,
    .header_free_page_map = 332,
    .header_sentinel = 460,
    .header_crypt_method = 461,
    .header_crc_full = 0,
    .header_crc_full_size = 0,
    .root_size = 40,
    .root_file_eof = 4,
    .root_amap_last = 8,
    .root_amap_free = 12,
    .root_pmap_free = 16,
    .root_nbt = 20,
    .root_bbt = 28,
    .root_amap_valid = 36,
    .page_data_size = 500,
    .page_trailer_size = 12,
    .page_trailer_crc = 8,
    .page_trailer_bid = 4,
    .amap_bits = 4,
    .bt_entries_size = 496,
    .bt_branch_entry_size = 12,
    .bbt_entry_size = 12,
    .nbt_entry_size = 16,
    .block_trailer_size = 12,
    .block_trailer_crc = 8,
    .block_trailer_bid = 4,
    .max_block_data = 8180,
    .xblock_header = 8,
    .max_xblock_entries = (8180 - 8) / 4,
    .sl_header = 4,
    .sl_entry_size = 12,
    .max_sl_entries = (8180 - 4) / 12,
    .si_entry_size = 8,
    .max_si_entries = (8180 - 4) / 8,
    .has_dlist = false,
};

constexpr const Layout& LayoutOf(Format format) {
  return format == Format::kAnsi ? kAnsiLayout : kUnicodeLayout;
}

// Bytes from offset 8 covered by dwCRCPartial, in both formats.
inline constexpr std::size_t kHeaderCrcPartialSize = 471;
// Where wVer lies and the lowest value of each format; a reader tells formats apart by it.
inline constexpr std::size_t kHeaderVersionOffset = 10;
inline constexpr std::uint16_t kMinUnicodeVersion = 23;
inline constexpr std::uint16_t kMaxAnsiVersion = 15;

static_assert(kUnicodeLayout.header_size == kHeaderSize);
static_assert(kUnicodeLayout.page_data_size == kPageDataSize);
static_assert(kUnicodeLayout.bt_entries_size == kBtEntriesSize);
static_assert(kUnicodeLayout.bbt_entry_size == kBtEntrySize);
static_assert(kUnicodeLayout.nbt_entry_size == kNbtEntrySize);
static_assert(kUnicodeLayout.block_trailer_size == kBlockTrailerSize);
static_assert(kUnicodeLayout.max_block_data == kMaxBlockData);
static_assert(kUnicodeLayout.max_xblock_entries == kMaxXBlockEntries);
static_assert(kUnicodeLayout.sl_entry_size == kSlEntrySize);
static_assert(kUnicodeLayout.max_sl_entries == kMaxSlEntries);
static_assert(kUnicodeLayout.max_si_entries == kMaxSiEntries);
static_assert(kAnsiLayout.page_data_size + kAnsiLayout.page_trailer_size == kPageSize);
static_assert(kUnicodeLayout.page_data_size + kUnicodeLayout.page_trailer_size == kPageSize);
static_assert(kAnsiLayout.header_root + kAnsiLayout.root_size == kAnsiLayout.header_free_map);
static_assert(kUnicodeLayout.max_block_data + kUnicodeLayout.block_trailer_size == kMaxBlockSize);
static_assert(kAnsiLayout.max_block_data + kAnsiLayout.block_trailer_size == kMaxBlockSize);

}  // namespace pst::format

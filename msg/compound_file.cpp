#include "msg/compound_file.h"

#include <glib.h>

#include <algorithm>
#include <cstddef>
#include <bit>
#include <cerrno>

#include "base/safe_files.h"
#include "base/text.h"

namespace bm::msg {

namespace {

constexpr std::size_t kSectorSize = 512;
constexpr std::size_t kMiniSectorSize = 64;
constexpr std::uint64_t kMiniStreamCutoff = 4096;
constexpr std::size_t kIdsPerSector = kSectorSize / 4;
constexpr std::size_t kHeaderFatIds = 109;                     // FAT sectors named by the header
constexpr std::size_t kDifatIdsPerSector = kIdsPerSector - 1;  // the last id links the next
constexpr std::size_t kEntrySize = 128;
constexpr std::size_t kMaxNameUnits = 31;

constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

constexpr std::uint8_t kStorage = 1;
constexpr std::uint8_t kStream = 2;
constexpr std::uint8_t kRootStorage = 5;

using Bytes = std::vector<std::uint8_t>;

void Put16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void Put64(std::uint8_t* at, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

Bytes IdBytes(std::span<const std::uint32_t> ids) {
  Bytes bytes(ids.size() * 4);
  for (std::size_t i = 0; i < ids.size(); ++i) Put32(&bytes[i * 4], ids[i]);
  return bytes;
}

std::ptrdiff_t Offset(std::size_t count) {
  return static_cast<std::ptrdiff_t>(count);
}

std::size_t SectorsFor(std::size_t bytes, std::size_t sector) {
  return (bytes + sector - 1) / sector;
}

// Siblings are kept in a tree ordered by name length, then by the upper-cased UTF-16 units.
char16_t Upper(char16_t unit) {
  if (unit < 0x80)
    return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - 0x20) : unit;
  if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) return unit;
  const gunichar upper = g_unichar_toupper(unit);
  return upper <= 0xFFFF ? static_cast<char16_t>(upper) : unit;
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char16_t x = Upper(a[i]);
    const char16_t y = Upper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

}  // namespace

std::optional<std::u16string> CompoundFileWriter::SiblingKey(std::string_view name) {
  std::u16string key = FromUtf8(name);
  if (key.empty() || key.size() > kMaxNameUnits) return std::nullopt;
  for (char16_t& unit : key) unit = Upper(unit);
  return key;
}

CompoundFileWriter::CompoundFileWriter(std::FILE* file) : file_(file) {
  DirectoryEntry root;
  root.name = u"Root Entry";
  root.type = kRootStorage;
  entries_.push_back(std::move(root));
}

Result<CompoundFileWriter::Entry> CompoundFileWriter::AddEntry(Entry parent, std::string_view name,
                                                               std::uint8_t type) {
  if (parent >= entries_.size() || entries_[parent].type == kStream) {
    return Error("the compound file has no storage to hold \"" + std::string(name) + "\"");
  }
  std::u16string units = FromUtf8(name);
  if (units.empty() || units.size() > kMaxNameUnits) {
    return Error("\"" + std::string(name) + "\" cannot name an entry of a compound file (1 to " +
                 std::to_string(kMaxNameUnits) + " characters)");
  }
  DirectoryEntry entry;
  entry.name = std::move(units);
  entry.type = type;
  entry.start = type == kStream ? kEndOfChain : 0;
  const auto id = static_cast<Entry>(entries_.size());
  entries_.push_back(std::move(entry));
  entries_[parent].children.push_back(id);
  return id;
}

Result<CompoundFileWriter::Entry> CompoundFileWriter::AddStorage(Entry parent,
                                                                 std::string_view name) {
  return AddEntry(parent, name, kStorage);
}

void CompoundFileWriter::SetClassId(Entry storage, const ClassId& class_id) {
  if (storage < entries_.size()) entries_[storage].class_id = class_id;
}

void CompoundFileWriter::SetModified(Entry storage, std::uint64_t filetime) {
  // The root's times belong to the file itself.
  if (storage != kRoot && storage < entries_.size()) entries_[storage].modified = filetime;
}

Status CompoundFileWriter::OpenStream(Entry parent, std::string_view name) {
  if (Status failed = Failed(); !failed) return failed;
  if (open_) return Error("the compound file has a stream open already");
  Result<Entry> entry = AddEntry(parent, name, kStream);
  if (!entry) return entry.error();
  open_ = OpenedStream{
      .entry = *entry, .pending = {}, .in_sectors = false, .last_sector = std::nullopt};
  return {};
}

Status CompoundFileWriter::Append(std::span<const std::uint8_t> bytes) {
  if (Status failed = Failed(); !failed) return failed;
  if (!open_) return Error("the compound file has no stream open");
  OpenedStream& stream = *open_;
  DirectoryEntry& entry = entries_[stream.entry];
  entry.size += bytes.size();
  if (!stream.in_sectors && entry.size < kMiniStreamCutoff) {
    stream.pending.insert(stream.pending.end(), bytes.begin(), bytes.end());
    return {};
  }
  stream.in_sectors = true;
  if (!stream.pending.empty()) {
    // Top the waiting bytes up to whole sectors first; what is left of `bytes` follows them.
    const std::size_t fill =
        std::min(bytes.size(), (kSectorSize - stream.pending.size() % kSectorSize) % kSectorSize);
    stream.pending.insert(stream.pending.end(), bytes.begin(), bytes.begin() + Offset(fill));
    bytes = bytes.subspan(fill);
    const std::size_t whole = stream.pending.size() / kSectorSize * kSectorSize;
    if (Status written =
            WriteSectors(std::span(stream.pending).first(whole), stream.last_sector, entry.start);
        !written) {
      return written;
    }
    stream.pending.erase(stream.pending.begin(), stream.pending.begin() + Offset(whole));
    if (!stream.pending.empty()) {
      stream.pending.insert(stream.pending.end(), bytes.begin(), bytes.end());
      return {};
    }
  }
  const std::size_t whole = bytes.size() / kSectorSize * kSectorSize;
  if (Status written = WriteSectors(bytes.first(whole), stream.last_sector, entry.start);
      !written) {
    return written;
  }
  stream.pending.assign(bytes.begin() + Offset(whole), bytes.end());
  return {};
}

Status CompoundFileWriter::CloseStream() {
  if (Status failed = Failed(); !failed) return failed;
  if (!open_) return Error("the compound file has no stream open");
  OpenedStream stream = std::move(*open_);
  open_.reset();
  DirectoryEntry& entry = entries_[stream.entry];
  if (stream.in_sectors) {
    if (stream.pending.empty()) return {};
    stream.pending.resize(SectorsFor(stream.pending.size(), kSectorSize) * kSectorSize, 0);
    return WriteSectors(stream.pending, stream.last_sector, entry.start);
  }
  if (entry.size == 0) return {};
  const std::size_t count = SectorsFor(stream.pending.size(), kMiniSectorSize);
  entry.start = static_cast<std::uint32_t>(mini_fat_.size());
  for (std::size_t i = 1; i <= count; ++i) {
    mini_fat_.push_back(i < count ? entry.start + static_cast<std::uint32_t>(i) : kEndOfChain);
  }
  mini_stream_.insert(mini_stream_.end(), stream.pending.begin(), stream.pending.end());
  mini_stream_.resize(mini_stream_.size() + (count * kMiniSectorSize - stream.pending.size()), 0);
  return {};
}

Status CompoundFileWriter::AddStream(Entry parent, std::string_view name,
                                     std::span<const std::uint8_t> bytes) {
  if (Status opened = OpenStream(parent, name); !opened) return opened;
  if (Status appended = Append(bytes); !appended) return appended;
  return CloseStream();
}

Status CompoundFileWriter::Failed() const {
  if (error_) return *error_;
  return {};
}

Status CompoundFileWriter::WriteBytes(std::span<const std::uint8_t> bytes) {
  if (error_) return *error_;
  if (!started_) {
    // The header's place; the header itself is written last, once everything is placed.
    started_ = true;
    const std::array<std::uint8_t, kSectorSize> header{};
    if (Status written = WriteBytes(header); !written) return written;
  }
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    error_ = Error("the MSG file cannot be written: " + ErrnoText(errno));
    return *error_;
  }
  return {};
}

// Sectors go to the file in the order they are numbered, so the next sector is the FAT's
// next entry.
Status CompoundFileWriter::WriteSectors(std::span<const std::uint8_t> bytes,
                                        std::optional<std::uint32_t>& last, std::uint32_t& first) {
  for (std::size_t offset = 0; offset < bytes.size(); offset += kSectorSize) {
    const auto sector = static_cast<std::uint32_t>(fat_.size());
    fat_.push_back(kEndOfChain);
    if (last) {
      fat_[*last] = sector;
    } else {
      first = sector;
    }
    last = sector;
  }
  return WriteBytes(bytes);
}

Status CompoundFileWriter::WriteChain(std::span<const std::uint8_t> bytes, std::uint32_t& first) {
  std::optional<std::uint32_t> last;
  const std::size_t whole = bytes.size() / kSectorSize * kSectorSize;
  if (Status written = WriteSectors(bytes.first(whole), last, first); !written) return written;
  if (whole == bytes.size()) return {};
  Bytes tail(bytes.begin() + Offset(whole), bytes.end());
  tail.resize(kSectorSize, 0);
  return WriteSectors(tail, last, first);
}

// Siblings form a red-black tree (MS-CFB 2.6.4). Built from the sorted names by halving, every
// path to a leaf has the same length give or take one, so the nodes of the last, partly filled
// level are red and all others black.
Status CompoundFileWriter::LinkSiblings(Entry storage) {
  std::vector<Entry> children = entries_[storage].children;
  std::sort(children.begin(), children.end(), [this](Entry a, Entry b) {
    return CompareNames(entries_[a].name, entries_[b].name) < 0;
  });
  for (std::size_t i = 1; i < children.size(); ++i) {
    if (CompareNames(entries_[children[i - 1]].name, entries_[children[i]].name) == 0) {
      return Error("a storage of the compound file holds two entries named \"" +
                   ToUtf8(entries_[children[i]].name) + "\"");
    }
  }
  const int red_depth = static_cast<int>(std::bit_width(children.size() + 1)) - 1;
  entries_[storage].child = BuildTree(children, 0, red_depth);
  return {};
}

CompoundFileWriter::Entry CompoundFileWriter::BuildTree(std::span<const Entry> sorted, int depth,
                                                        int red_depth) {
  if (sorted.empty()) return kNoStream;
  const std::size_t middle = sorted.size() / 2;
  DirectoryEntry& node = entries_[sorted[middle]];
  node.red = depth >= red_depth;
  const Entry left = BuildTree(sorted.first(middle), depth + 1, red_depth);
  const Entry right = BuildTree(sorted.subspan(middle + 1), depth + 1, red_depth);
  entries_[sorted[middle]].left = left;
  entries_[sorted[middle]].right = right;
  return sorted[middle];
}

std::vector<std::uint8_t> CompoundFileWriter::DirectoryBytes() const {
  const std::size_t per_sector = kSectorSize / kEntrySize;
  Bytes bytes(SectorsFor(entries_.size(), per_sector) * kSectorSize, 0);
  for (std::size_t i = 0; i < bytes.size() / kEntrySize; ++i) {
    std::uint8_t* at = &bytes[i * kEntrySize];
    if (i >= entries_.size()) {
      // Unused entries link nowhere.
      Put32(at + 68, kNoStream);
      Put32(at + 72, kNoStream);
      Put32(at + 76, kNoStream);
      continue;
    }
    const DirectoryEntry& entry = entries_[i];
    for (std::size_t unit = 0; unit < entry.name.size(); ++unit) {
      Put16(at + unit * 2, entry.name[unit]);
    }
    Put16(at + 64, static_cast<std::uint16_t>((entry.name.size() + 1) * 2));
    at[66] = entry.type;
    at[67] = entry.red ? 0 : 1;
    Put32(at + 68, entry.left);
    Put32(at + 72, entry.right);
    Put32(at + 76, entry.child);
    std::copy(entry.class_id.begin(), entry.class_id.end(), at + 80);
    Put64(at + 108, entry.modified);
    Put32(at + 116, entry.start);
    Put64(at + 120, entry.size);
  }
  return bytes;
}

Status CompoundFileWriter::Finish() {
  if (open_) {
    if (Status closed = CloseStream(); !closed) return closed;
  }
  if (Status failed = Failed(); !failed) return failed;
  for (Entry i = 0; i < entries_.size(); ++i) {
    if (entries_[i].type == kStream) continue;
    if (Status linked = LinkSiblings(i); !linked) return linked;
  }
  DirectoryEntry& root = entries_[kRoot];
  root.start = kEndOfChain;
  root.size = mini_stream_.size();
  if (!mini_stream_.empty()) {
    if (Status written = WriteChain(mini_stream_, root.start); !written) return written;
  }
  std::uint32_t mini_fat_start = kEndOfChain;
  const auto mini_fat_sectors =
      static_cast<std::uint32_t>(SectorsFor(mini_fat_.size(), kIdsPerSector));
  if (!mini_fat_.empty()) {
    mini_fat_.resize(mini_fat_sectors * kIdsPerSector, kFreeSector);
    if (Status written = WriteChain(IdBytes(mini_fat_), mini_fat_start); !written) return written;
  }
  std::uint32_t directory_start = kEndOfChain;
  if (Status written = WriteChain(DirectoryBytes(), directory_start); !written) return written;
  return WriteFatAndHeader(directory_start, mini_fat_start, mini_fat_sectors);
}

// The FAT counts its own sectors and those of the DIFAT, which names the FAT sectors the
// header has no room for.
Status CompoundFileWriter::WriteFatAndHeader(std::uint32_t directory_start,
                                             std::uint32_t mini_fat_start,
                                             std::uint32_t mini_fat_sectors) {
  const std::size_t used = fat_.size();
  std::size_t fat_sectors = std::max<std::size_t>(1, SectorsFor(used, kIdsPerSector));
  std::size_t difat_sectors = 0;
  while (true) {
    difat_sectors = fat_sectors > kHeaderFatIds
                        ? SectorsFor(fat_sectors - kHeaderFatIds, kDifatIdsPerSector)
                        : 0;
    if (fat_sectors * kIdsPerSector >= used + fat_sectors + difat_sectors) break;
    ++fat_sectors;
  }
  const auto first_fat = static_cast<std::uint32_t>(used);
  const auto first_difat = static_cast<std::uint32_t>(used + fat_sectors);
  fat_.insert(fat_.end(), fat_sectors, kFatSector);
  fat_.insert(fat_.end(), difat_sectors, kDifatSector);
  fat_.resize(fat_sectors * kIdsPerSector, kFreeSector);
  if (Status written = WriteBytes(IdBytes(fat_)); !written) return written;

  std::vector<std::uint32_t> difat(difat_sectors * kIdsPerSector, kFreeSector);
  for (std::size_t i = kHeaderFatIds; i < fat_sectors; ++i) {
    const std::size_t slot = i - kHeaderFatIds;
    difat[slot / kDifatIdsPerSector * kIdsPerSector + slot % kDifatIdsPerSector] =
        first_fat + static_cast<std::uint32_t>(i);
  }
  for (std::size_t i = 0; i < difat_sectors; ++i) {
    difat[i * kIdsPerSector + kDifatIdsPerSector] =
        i + 1 < difat_sectors ? first_difat + static_cast<std::uint32_t>(i + 1) : kEndOfChain;
  }
  if (Status written = WriteBytes(IdBytes(difat)); !written) return written;

  std::array<std::uint8_t, kSectorSize> header{};
  constexpr std::array<std::uint8_t, 8> kSignature = {0xD0, 0xCF, 0x11, 0xE0,
                                                      0xA1, 0xB1, 0x1A, 0xE1};
  std::copy(kSignature.begin(), kSignature.end(), header.begin());
  Put16(&header[24], 0x003E);  // minor version
  Put16(&header[26], 0x0003);  // major version: 512-byte sectors
  Put16(&header[28], 0xFFFE);  // little-endian
  Put16(&header[30], 9);       // sector shift
  Put16(&header[32], 6);       // mini sector shift
  Put32(&header[44], static_cast<std::uint32_t>(fat_sectors));
  Put32(&header[48], directory_start);
  Put32(&header[56], static_cast<std::uint32_t>(kMiniStreamCutoff));
  Put32(&header[60], mini_fat_start);
  Put32(&header[64], mini_fat_sectors);
  Put32(&header[68], difat_sectors > 0 ? first_difat : kEndOfChain);
  Put32(&header[72], static_cast<std::uint32_t>(difat_sectors));
  for (std::size_t i = 0; i < kHeaderFatIds; ++i) {
    Put32(&header[76 + i * 4],
          i < fat_sectors ? first_fat + static_cast<std::uint32_t>(i) : kFreeSector);
  }
  if (::fseeko(file_, 0, SEEK_SET) != 0) {
    error_ = Error("the MSG file cannot be written: " + ErrnoText(errno));
    return *error_;
  }
  return WriteBytes(header);
}

}  // namespace bm::msg

// CompoundFileWriter: writes an OLE2 compound file (MS-CFB, version 3: 512-byte sectors) in
// one pass, for MSG files. Storages and streams are added depth first, one stream open at a
// time; a stream's bytes go to the file as soon as they fill a sector (a stream smaller than
// 4096 bytes waits for its close and goes into the mini stream), so a large attachment is never
// held whole. Finish() writes the allocation tables, the directory and the header.
//
//   CompoundFileWriter file(stdio_stream);
//   Result<CompoundFileWriter::Entry> recipient =
//       file.AddStorage(CompoundFileWriter::kRoot, "__recip_version1.0_#00000000");
//   file.AddStream(*recipient, "__properties_version1.0", table_bytes);
//   file.Finish();
//
// A plain object owning plain memory, so workers converting in parallel share nothing (a
// compound file written through GObjects took a process-wide lock for every stream).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace bm::msg {

class CompoundFileWriter {
 public:
  // An entry of the directory: the root storage, a storage or a stream.
  using Entry = std::uint32_t;
  static constexpr Entry kRoot = 0;
  using ClassId = std::array<std::uint8_t, 16>;

  // Writes to `file`, an empty stream opened for writing and seeking, which the caller owns and
  // flushes. Nothing is written to it before the first stream's first sector.
  explicit CompoundFileWriter(std::FILE* file);

  // A storage named `name` (UTF-8, at most 31 UTF-16 units) in the storage `parent`.
  Result<Entry> AddStorage(Entry parent, std::string_view name);
  void SetClassId(Entry storage, const ClassId& class_id);
  // A storage's modification time as a FILETIME (100 ns since 1601).
  void SetModified(Entry storage, std::uint64_t filetime);

  // A stream written piece by piece: OpenStream, Append as often as needed, CloseStream.
  Status OpenStream(Entry parent, std::string_view name);
  Status Append(std::span<const std::uint8_t> bytes);
  Status CloseStream();
  // A whole stream at once.
  Status AddStream(Entry parent, std::string_view name, std::span<const std::uint8_t> bytes);

  // What two siblings must not share, since readers compare names without case; nullopt when
  // `name` (UTF-8) cannot name an entry: empty, or more than 31 UTF-16 units.
  static std::optional<std::u16string> SiblingKey(std::string_view name);

  // Writes the mini stream, the allocation tables, the directory and the header. The stream
  // open, if any, is closed first. Two entries of one storage whose names differ only in case
  // are refused here (a reader could find only one of them).
  Status Finish();

 private:
  struct DirectoryEntry {
    std::u16string name;
    std::uint8_t type = 0;
    ClassId class_id{};
    std::uint64_t modified = 0;
    std::uint32_t start = 0;
    std::uint64_t size = 0;
    std::vector<Entry> children;
    std::uint32_t left = 0xFFFFFFFF;
    std::uint32_t right = 0xFFFFFFFF;
    std::uint32_t child = 0xFFFFFFFF;
    bool red = false;
  };
  // Made whole by aggregate initialisation: a nested class's default member initialisers
  // leave it not default-constructible inside its enclosing class for some compilers.
  struct OpenedStream {
    Entry entry;
    std::vector<std::uint8_t> pending;  // bytes not yet in a sector
    bool in_sectors;                    // 4096 bytes or more: regular sectors
    std::optional<std::uint32_t> last_sector;
  };

  Result<Entry> AddEntry(Entry parent, std::string_view name, std::uint8_t type);
  Status WriteSectors(std::span<const std::uint8_t> bytes, std::optional<std::uint32_t>& last,
                      std::uint32_t& first);
  Status WriteChain(std::span<const std::uint8_t> bytes, std::uint32_t& first);
  Status WriteBytes(std::span<const std::uint8_t> bytes);
  Status WriteFatAndHeader(std::uint32_t directory_start, std::uint32_t mini_fat_start,
                           std::uint32_t mini_fat_sectors);
  Status LinkSiblings(Entry storage);
  Entry BuildTree(std::span<const Entry> sorted, int depth, int red_depth);
  std::vector<std::uint8_t> DirectoryBytes() const;
  Status Failed() const;

  std::FILE* file_;
  std::vector<DirectoryEntry> entries_;
  std::vector<std::uint32_t> fat_;
  std::vector<std::uint32_t> mini_fat_;
  std::vector<std::uint8_t> mini_stream_;
  std::optional<OpenedStream> open_;
  std::optional<Error> error_;  // the first write that failed; every later call reports it
  bool started_ = false;        // the header's place is taken
};

}  // namespace bm::msg

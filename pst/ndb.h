// The node database layer of the reader: the file, its header, the node and block B-trees,
// blocks, data trees and subnode trees. Everything here checks what it reads against the
// file before using it; a damaged structure is an error that names where it lies.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/result.h"
#include "pst/soft_faults.h"
#include "pst/store.h"

namespace pst::ndb {

using bm::Status;
using Bytes = std::vector<std::uint8_t>;

// Read-only access to the store's bytes: pread, or a memory map when one is asked for.
class File {
 public:
  static Result<std::unique_ptr<File>> Open(const std::filesystem::path& path, bool memory_map);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  std::uint64_t size() const { return size_; }
  // Fills `out` with the bytes at `offset`; an error when they are not all inside the file.
  bm::Status ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const;

 private:
  File() = default;
  int fd_ = -1;
  std::uint64_t size_ = 0;
  const std::uint8_t* map_ = nullptr;
};

// A reference to a page or block: its id and its offset in the file.
struct Bref {
  std::uint64_t bid = 0;
  std::uint64_t ib = 0;
};

struct Header {
  FileFormat format = FileFormat::kUnicode;
  Encryption encryption = Encryption::kNone;
  std::uint64_t file_eof = 0;
  Bref nbt;
  Bref bbt;
};

// Reads and checks the header (magic, version, CRCs, root references).
Result<Header> ReadHeader(const File& file, const std::function<void(const std::string&)>& warn);

struct NodeEntry {
  std::uint32_t nid = 0;
  std::uint32_t parent = 0;
  std::uint64_t bid_data = 0;
  std::uint64_t bid_sub = 0;
};

struct SubnodeEntry {
  std::uint32_t nid = 0;
  std::uint64_t bid_data = 0;
  std::uint64_t bid_sub = 0;
};

// One leaf block of a data tree: its id and its size in bytes.
struct BlockRef {
  std::uint64_t bid = 0;
  std::uint32_t size = 0;
};

// The two B-trees and the blocks they lead to. Thread-safe: B-tree pages are kept in a small
// cache shared by every reader under one mutex; everything else is read-only.
class Database {
 public:
  Database(std::unique_ptr<File> file, Header header, std::size_t cache_bytes,
           std::function<void(const std::string&)> warn);

  const Header& header() const { return header_; }
  const File& file() const { return *file_; }
  bool unicode() const { return header_.format == FileFormat::kUnicode; }
  void Warn(const std::string& text) const;
  // A warning about data still read although it may be damaged: the reading thread's
  // SoftFaultScope is told too.
  void SoftFault(const std::string& text) const;

  // Every node of the node B-tree, in node-id order.
  Result<std::vector<NodeEntry>> AllNodes() const;
  Result<NodeEntry> FindNode(std::uint32_t nid) const;

  // One block's data, decoded. `bid` is the reference from a node, data tree or subnode tree.
  Result<Bytes> ReadBlock(std::uint64_t bid) const;
  // The leaf blocks of a data tree (one block, or an XBLOCK / XXBLOCK over many).
  Result<std::vector<BlockRef>> DataBlocks(std::uint64_t bid) const;
  // The data tree's blocks, read.
  Result<std::vector<Bytes>> ReadDataBlocks(std::uint64_t bid) const;
  // The data tree's bytes, joined.
  Result<Bytes> ReadData(std::uint64_t bid) const;
  // A subnode tree's entries in node-id order; empty for bid 0.
  Result<std::vector<SubnodeEntry>> ReadSubnodes(std::uint64_t bid) const;

 private:
  struct Page {
    std::uint8_t level = 0;
    std::uint8_t count = 0;
    std::uint8_t entry_size = 0;
    Bytes entries;
  };
  struct BbtEntry {
    std::uint64_t ib = 0;
    std::uint16_t size = 0;
  };
  Result<std::shared_ptr<const Page>> ReadPage(const Bref& ref, std::uint8_t type) const;
  Result<std::shared_ptr<const Page>> LoadPage(const Bref& ref, std::uint8_t type) const;
  // Descends a B-tree to the leaf entry with `key`; the entry's bytes.
  Result<Bytes> Lookup(const Bref& root, std::uint8_t type, std::uint64_t key) const;
  Result<BbtEntry> FindBlock(std::uint64_t bid) const;
  Status CollectLeaves(std::uint64_t bid, int depth, std::vector<BlockRef>& out) const;
  Status CollectSubnodes(std::uint64_t bid, int depth, std::vector<SubnodeEntry>& out) const;
  Bref ReadBref(const std::uint8_t* p) const;
  std::uint64_t ReadId(const std::uint8_t* p) const;

  std::unique_ptr<File> file_;
  Header header_;
  std::function<void(const std::string&)> warn_;

  // The page cache, in shards with a lock each so that reading threads seldom wait for one
  // another; in a shard the least recently used pages leave first.
  struct Cached {
    std::shared_ptr<const Page> page;
    std::list<std::uint64_t>::iterator position;
  };
  struct CacheShard {
    std::mutex mutex;
    std::list<std::uint64_t> order;
    std::unordered_map<std::uint64_t, Cached> pages;
  };
  static constexpr std::size_t kCacheShards = 16;
  CacheShard& ShardOf(std::uint64_t key) const;
  std::size_t shard_pages_;
  mutable std::array<CacheShard, kCacheShards> shards_;
  // The two root pages, which every lookup starts from: read once, then used without a lock.
  struct PinnedRoot {
    std::once_flag loaded;
    std::shared_ptr<const Page> page;  // empty when the page could not be read
  };
  mutable PinnedRoot nbt_root_;
  mutable PinnedRoot bbt_root_;
  Result<std::shared_ptr<const Page>> CachedPage(const Bref& ref, std::uint8_t type) const;
};

std::string Hex(std::uint64_t value);

}  // namespace pst::ndb

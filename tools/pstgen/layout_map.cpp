#include "tools/pstgen/layout_map.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace pstgen {
namespace {

namespace fmt = pst::format;

// Builds a JSON text; keys and string values here never need escaping.
class Json {
 public:
  Json& Open(const char* key, char bracket) {
    Key(key);
    out_ += bracket;
    first_ = true;
    return *this;
  }
  Json& Close(char bracket) {
    out_ += bracket;
    first_ = false;
    return *this;
  }
  Json& Number(const char* key, std::uint64_t value) {
    Key(key);
    out_ += std::to_string(value);
    return *this;
  }
  Json& Text(const char* key, const std::string& value) {
    Key(key);
    out_ += '"' + value + '"';
    return *this;
  }
  Json& Null(const char* key) {
    Key(key);
    out_ += "null";
    return *this;
  }
  // A [offset, size] pair.
  Json& Field(const char* key, std::size_t offset, std::size_t size) {
    Key(key);
    out_ += '[' + std::to_string(offset) + ", " + std::to_string(size) + ']';
    return *this;
  }
  std::string Take() { return std::move(out_); }

 private:
  void Key(const char* key) {
    if (!first_) out_ += ", ";
    first_ = false;
    if (key != nullptr) out_ += '"' + std::string(key) + "\": ";
  }
  std::string out_;
  bool first_ = true;
};

void HeaderFields(Json& j, const fmt::Layout& l) {
  const std::size_t root = l.header_root;
  const std::size_t id = l.id_size;
  j.Open("header", '{').Number("size", l.header_size).Field("root", root, l.root_size);
  j.Open("fields", '{')
      .Field("dwMagic", 0, 4)
      .Field("dwCRCPartial", 4, 4)
      .Field("wVer", fmt::kHeaderVersionOffset, 2)
      .Field("bidNextB", l.header_next_bid, id)
      .Field("bidNextP", l.header_next_page_bid, id)
      .Field("dwUnique", l.header_unique, 4)
      .Field("rgnid", l.header_nid_high_water, 128)
      .Field("ibFileEof", root + l.root_file_eof, id)
      .Field("ibAMapLast", root + l.root_amap_last, id)
      .Field("cbAMapFree", root + l.root_amap_free, id)
      .Field("cbPMapFree", root + l.root_pmap_free, id)
      .Field("nbt_bid", root + l.root_nbt, id)
      .Field("nbt_ib", root + l.root_nbt + id, id)
      .Field("bbt_bid", root + l.root_bbt, id)
      .Field("bbt_ib", root + l.root_bbt + id, id)
      .Field("fAMapValid", root + l.root_amap_valid, 1)
      .Field("bSentinel", l.header_sentinel, 1)
      .Field("bCryptMethod", l.header_crypt_method, 1);
  if (l.header_crc_full != 0) j.Field("dwCRCFull", l.header_crc_full, 4);
  j.Close('}').Close('}');
}

void Constants(Json& j, const fmt::Layout& l) {
  j.Open("page", '{')
      .Number("size", fmt::kPageSize)
      .Number("trailer", l.page_data_size)
      .Number("trailer_size", l.page_trailer_size)
      .Number("trailer_crc", l.page_trailer_crc)
      .Number("trailer_bid", l.page_trailer_bid)
      .Number("entries_size", l.bt_entries_size)
      .Number("cEnt", l.bt_entries_size)
      .Number("cEntMax", l.bt_entries_size + 1)
      .Number("cbEnt", l.bt_entries_size + 2)
      .Number("cLevel", l.bt_entries_size + 3)
      .Number("branch_entry", l.bt_branch_entry_size)
      .Number("bbt_entry", l.bbt_entry_size)
      .Number("nbt_entry", l.nbt_entry_size)
      .Close('}');
  j.Open("block", '{')
      .Number("slot", fmt::kSlotSize)
      .Number("trailer_size", l.block_trailer_size)
      .Number("trailer_crc", l.block_trailer_crc)
      .Number("trailer_bid", l.block_trailer_bid)
      .Number("max_data", l.max_block_data)
      .Number("xblock_header", l.xblock_header)
      .Number("sl_header", l.sl_header)
      .Number("sl_entry", l.sl_entry_size)
      .Number("si_entry", l.si_entry_size)
      .Close('}');
}

void BidList(Json& j, const char* key, std::vector<std::uint64_t> bids) {
  std::sort(bids.begin(), bids.end());
  bids.erase(std::unique(bids.begin(), bids.end()), bids.end());
  j.Open(key, '[');
  for (const std::uint64_t bid : bids) j.Number(nullptr, bid);
  j.Close(']');
}

}  // namespace

std::string LayoutJson(const LayoutMap& map) {
  Json j;
  j.Open(nullptr, '{');
  if (map.layout == nullptr) {
    j.Null("format").Number("file_size", map.file_size).Close('}');
    return j.Take() + "\n";
  }
  const fmt::Layout& l = *map.layout;
  j.Text("format", l.format == fmt::Format::kAnsi ? "ansi" : "unicode")
      .Number("version", l.version)
      .Number("id_size", l.id_size)
      .Number("encryption", map.encryption)
      .Number("file_size", map.file_size);
  HeaderFields(j, l);
  Constants(j, l);
  j.Open("pages", '[');
  for (const LayoutMap::Page& p : map.pages) {
    j.Open(nullptr, '{')
        .Text("tree", p.tree)
        .Number("bid", p.bid)
        .Number("ib", p.ib)
        .Number("level", static_cast<std::uint64_t>(p.level))
        .Number("count", static_cast<std::uint64_t>(p.count));
    if (p.parent)
      j.Number("parent", *p.parent);
    else
      j.Null("parent");
    j.Close('}');
  }
  j.Close(']');
  j.Open("blocks", '[');
  for (const LayoutMap::Block& b : map.blocks) {
    j.Open(nullptr, '{')
        .Number("bid", b.bid)
        .Number("ib", b.ib)
        .Number("cb", b.cb)
        .Number("size", l.block_size(b.cb))
        .Number("entry", b.entry)
        .Close('}');
  }
  j.Close(']');
  BidList(j, "heaps", map.heaps);
  BidList(j, "data_tree_blocks", map.data_tree_blocks);
  BidList(j, "subnode_blocks", map.subnode_blocks);
  j.Open("nodes", '[');
  for (const LayoutMap::Node& n : map.nodes) {
    j.Open(nullptr, '{')
        .Number("nid", n.nid)
        .Number("parent", n.parent)
        .Number("data", n.bid_data)
        .Number("sub", n.bid_sub)
        .Number("entry", n.entry)
        .Close('}');
  }
  j.Close(']').Close('}');
  return j.Take() + "\n";
}

}  // namespace pstgen

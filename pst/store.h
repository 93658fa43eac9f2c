// The PST reader: open a personal folder file read-only, walk its folders, read its messages,
// recipients and attachments, property by property. It knows the file format (MS-PST) and
// nothing of what the program does with an item.
//
//   auto store = pst::Store::Open("mail.pst");
//   if (!store) return store.error();
//   for (pst::Nid nid : store->Messages(folder)) {
//     auto message = store->OpenMessage(nid);           // a Result: a damaged node says why
//     auto subject = message->properties().String(0x0037);
//   }
//
// Threads: a Store and everything opened from it are immutable; any number of threads may
// read from one store at once. A Folder, Message or Attachment keeps its store open.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/result.h"

namespace pst {

using bm::Error;
using bm::Result;
using Nid = std::uint32_t;

enum class FileFormat : std::uint8_t { kAnsi, kUnicode };
enum class Encryption : std::uint8_t { kNone = 0, kPermute = 1, kCyclic = 2 };

// MAPI property types: the low 16 bits of a property tag.
namespace type {
inline constexpr std::uint16_t kInt16 = 0x0002;
inline constexpr std::uint16_t kInt32 = 0x0003;
inline constexpr std::uint16_t kFloat = 0x0004;
inline constexpr std::uint16_t kDouble = 0x0005;
inline constexpr std::uint16_t kCurrency = 0x0006;
inline constexpr std::uint16_t kAppTime = 0x0007;
inline constexpr std::uint16_t kError = 0x000A;
inline constexpr std::uint16_t kBoolean = 0x000B;
inline constexpr std::uint16_t kObject = 0x000D;
inline constexpr std::uint16_t kInt64 = 0x0014;
inline constexpr std::uint16_t kString8 = 0x001E;
inline constexpr std::uint16_t kUnicode = 0x001F;
inline constexpr std::uint16_t kFileTime = 0x0040;
inline constexpr std::uint16_t kGuid = 0x0048;
inline constexpr std::uint16_t kServerId = 0x00FB;
inline constexpr std::uint16_t kRestriction = 0x00FD;
inline constexpr std::uint16_t kRuleAction = 0x00FE;
inline constexpr std::uint16_t kBinary = 0x0102;
inline constexpr std::uint16_t kMultiple = 0x1000;  // or-ed into a type: multi-valued
}  // namespace type

// A property set GUID, in the byte order the file stores it.
struct Guid {
  std::array<std::uint8_t, 16> bytes{};
  friend bool operator==(const Guid&, const Guid&) = default;
  friend auto operator<=>(const Guid&, const Guid&) = default;
};

// A named property's name: a number (LID) or a string, within a property set.
struct PropertyName {
  Guid set;
  std::variant<std::uint32_t, std::u16string> id;
  friend bool operator==(const PropertyName&, const PropertyName&) = default;
  friend auto operator<=>(const PropertyName&, const PropertyName&) = default;
};

// A property's id (named properties: 0x8000 and up, resolved through the store's name map)
// and stored type.
struct PropertyInfo {
  std::uint16_t id = 0;
  std::uint16_t type = 0;
  std::uint32_t tag() const { return std::uint32_t{id} << 16 | type; }
  friend bool operator==(const PropertyInfo&, const PropertyInfo&) = default;
};

// Reads a large value block by block; never holds it whole.
class ValueStream {
 public:
  class Source;  // the reader's side
  explicit ValueStream(std::shared_ptr<Source> source);
  ~ValueStream();
  ValueStream(ValueStream&&) noexcept;
  ValueStream& operator=(ValueStream&&) noexcept;

  std::uint64_t size() const;
  // Fills `out` from the current position; 0 at the end. A block that cannot be read is an
  // error that names it; the position is then unchanged.
  Result<std::size_t> Read(std::span<std::uint8_t> out);

 private:
  std::shared_ptr<Source> source_;
  std::uint64_t position_ = 0;
};

// The properties of one object: a message, folder, attachment or the store (a property
// context), or one row of a table (recipients, attachments, contents).
//
// Fixed-size values are read when the bag is made, so their getters cannot fail. A
// variable-size value may lie in a subnode that turns out damaged: its getters return an
// error naming the node; an absent property is an empty optional.
class PropertyBag {
 public:
  class Data;  // the reader's side
  PropertyBag();
  explicit PropertyBag(std::shared_ptr<const Data> data);

  // Every property, in id order.
  std::span<const PropertyInfo> properties() const;
  std::optional<PropertyInfo> Find(std::uint16_t id) const;
  bool Has(std::uint16_t id) const { return Find(id).has_value(); }

  // Fixed-size values; empty when absent or stored with another type.
  std::optional<std::int16_t> Int16(std::uint16_t id) const;
  std::optional<std::int32_t> Int32(std::uint16_t id) const;
  std::optional<std::int64_t> Int64(std::uint16_t id) const;  // PT_I8 and PT_CURRENCY
  std::optional<bool> Boolean(std::uint16_t id) const;
  std::optional<double> Double(std::uint16_t id) const;  // PT_DOUBLE, PT_FLOAT, PT_APPTIME
  std::optional<std::uint64_t> FileTime(std::uint16_t id) const;

  // PT_UNICODE, or PT_STRING8 decoded with `code_page` (1252 unless the caller knows better).
  Result<std::optional<std::u16string>> String(std::uint16_t id, int code_page = 1252) const;
  // The stored bytes of PT_BINARY, PT_STRING8 (no terminator), PT_UNICODE (UTF-16LE, no
  // terminator), PT_CLSID and PT_SVREID values.
  Result<std::optional<std::vector<std::uint8_t>>> Binary(std::uint16_t id) const;
  // The value as the file stores it: a fixed-size value as its little-endian bytes at its
  // own size (PT_BOOLEAN 1 byte, PT_I2 2, PT_LONG, PT_FLOAT and PT_ERROR 4, the 8-byte types
  // 8), a variable-size value as its bytes, a multi-valued one as the packed array the file
  // holds. An error when absent.
  Result<std::vector<std::uint8_t>> Raw(std::uint16_t id) const;
  // The elements of a multi-valued property, each as its stored bytes.
  Result<std::vector<std::vector<std::uint8_t>>> Elements(std::uint16_t id) const;
  // A variable-size value as a stream, for values too large to hold (attachment data).
  Result<ValueStream> Stream(std::uint16_t id) const;

 private:
  std::shared_ptr<const Data> data_;
};

class Store;
class Message;

// A table (contents, hierarchy, recipients, attachments): its rows as property bags.
class Table {
 public:
  class Data;
  explicit Table(std::shared_ptr<const Data> data);

  std::size_t row_count() const;
  std::span<const PropertyInfo> columns() const;
  // The row's id (PidTagLtpRowId: a node id for contents and hierarchy rows).
  std::uint32_t RowId(std::size_t row) const;
  Result<PropertyBag> Row(std::size_t row) const;

 private:
  std::shared_ptr<const Data> data_;
};

class Attachment;

// A message of any class (e-mail, contact, appointment, ...), or an embedded message.
class Message {
 public:
  class Data;
  explicit Message(std::shared_ptr<const Data> data);

  Nid nid() const;  // the node id; for an embedded message, the subnode's id
  const PropertyBag& properties() const;

  // The recipient table's rows, in stored order (each row has every recipient property).
  Result<std::vector<PropertyBag>> Recipients() const;
  // The attachment table's rows, in stored order; an empty list when there is none.
  Result<Table> AttachmentTable() const;
  // 0 also when the table cannot be read: what must not lose attachments reads the table.
  std::size_t attachment_count() const;
  // Attachment `index` in attachment-table order: its attachment object.
  Result<Attachment> OpenAttachment(std::size_t index) const;

 private:
  std::shared_ptr<const Data> data_;
};

class Attachment {
 public:
  class Data;
  explicit Attachment(std::shared_ptr<const Data> data);

  Nid nid() const;  // the attachment's subnode id
  const PropertyBag& properties() const;
  // PidTagAttachMethod (1 by value, 2-4 by reference, 5 embedded message, 6 OLE); 0 when
  // absent.
  std::int32_t method() const;
  // PidTagAttachDataBinary as a stream (by-value attachments).
  Result<ValueStream> OpenData() const;
  // PidTagAttachDataObject as a message (method 5).
  Result<Message> OpenEmbeddedMessage() const;
  // PidTagAttachDataObject as a stream of its bytes (method 6: an OLE compound file).
  Result<ValueStream> OpenObjectData() const;

 private:
  std::shared_ptr<const Data> data_;
};

class Folder {
 public:
  class Data;
  explicit Folder(std::shared_ptr<const Data> data);

  Nid nid() const;
  const PropertyBag& properties() const;
  // Its contents table (normal messages) and hierarchy table (sub-folders); errors when
  // the table node is missing or damaged.
  Result<Table> ContentsTable() const;
  Result<Table> HierarchyTable() const;
  Result<Table> AssociatedContentsTable() const;

 private:
  std::shared_ptr<const Data> data_;
};

struct OpenOptions {
  // Read with pread (the default): resident memory stays small whatever the store's size,
  // and a file cut short while it is open is an error, not a SIGBUS. true memory-maps the
  // file (falling back to pread when mapping fails); its pages then count as resident.
  bool memory_map = false;
  // Bytes of B-tree pages kept in the page cache (shared by all readers of the store).
  std::size_t page_cache_bytes = 1 << 20;
  // Told every soft fault (a bad CRC on a block still read, a table that disagrees with the
  // node tree); the store is still read. May be called from any reading thread.
  std::function<void(const std::string&)> warn;
};

class Store {
 public:
  class Data;

  // Opens and checks the header, reads the node B-tree once into the children index and
  // reads the name-to-id map. Errors say why the file is not a readable store ("not a PST
  // file", "a 4 KB-page store (OST 2013) is not supported yet", "truncated: ...").
  static Result<Store> Open(const std::filesystem::path& path, const OpenOptions& options = {});

  FileFormat format() const;
  Encryption encryption() const;
  std::uint64_t file_size() const;

  // The message store object (display name, ...).
  const PropertyBag& properties() const;
  Nid root_folder() const;  // 0x122

  // Children from the node tree, in node-id order: sub-folders (normal and search folders),
  // normal messages, and folder-associated messages. Empty for an unknown node. The node
  // tree's parent links decide, so an item that a damaged table misses is still found; a
  // folder that names itself (or a descendant) as parent is hung under the root folder, with
  // a warning (see Rehung).
  std::span<const Nid> SubFolders(Nid folder) const;
  std::span<const Nid> Messages(Nid folder) const;
  std::span<const Nid> AssociatedMessages(Nid folder) const;
  std::optional<Nid> Parent(Nid nid) const;
  bool Contains(Nid nid) const;
  // Whether `folder` named itself or one of its sub-folders as parent, and so was hung under
  // the root folder: its place in the tree is not the one it was stored with.
  bool Rehung(Nid folder) const;

  Result<Folder> OpenFolder(Nid nid) const;
  // Compares a folder's contents and hierarchy tables with its children in the node tree and
  // tells OpenOptions::warn of each item one has and the other has not (the node tree still
  // decides what the folder holds). The number of disagreements; 0 for a folder that cannot
  // be opened.
  std::size_t CrossCheckTables(Nid folder) const;
  Result<Message> OpenMessage(Nid nid) const;

  // A folder's messages as the node tree and its contents table give them together: a message
  // whose parent link in the node tree is damaged is lost to Messages() but still named by the
  // table, and is found again here.
  struct FolderMessages {
    // Messages() with the recovered ones, in node-id order, so every message keeps its place.
    std::vector<Nid> messages;
    std::vector<Nid> recovered;  // named by the contents table only, and held by the store
    // Named by the contents table, but not held by the store. Placed in `messages` too (opening
    // them fails), so the items after them keep their places, when the table names every
    // message of the node tree; a table that misses some is itself damaged, and its own
    // names are then left out.
    std::vector<Nid> missing;
  };
  // A folder whose contents table cannot be read (or a search folder) gives Messages() alone.
  FolderMessages MessagesWithContentsTable(Nid folder) const;

  // The name-to-id map, both ways.
  std::optional<std::uint16_t> IdOfName(const PropertyName& name) const;
  std::optional<PropertyName> NameOfId(std::uint16_t id) const;

 private:
  explicit Store(std::shared_ptr<const Data> data);
  std::shared_ptr<const Data> data_;
};

}  // namespace pst

// Owning wrappers for libpff objects, for the benchmark that measures libpff as the reference
// reader: every handle has exactly one owner that frees it.
#pragma once

#include <libpff.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bm::pff {

// A libpff error slot; frees whatever error libpff left in it.
class Error {
 public:
  Error() = default;
  Error(const Error&) = delete;
  Error& operator=(const Error&) = delete;
  ~Error() { Clear(); }

  libpff_error_t** out() {
    Clear();
    return &error_;
  }
  explicit operator bool() const { return error_ != nullptr; }
  std::string Message() const;
  void Clear();

 private:
  libpff_error_t* error_ = nullptr;
};

struct FileDeleter {
  void operator()(libpff_file_t* file) const;  // closes (when open) and frees
};
struct ItemDeleter {
  void operator()(libpff_item_t* item) const;
};
struct RecordSetDeleter {
  void operator()(libpff_record_set_t* set) const;
};
struct RecordEntryDeleter {
  void operator()(libpff_record_entry_t* entry) const;
};

using File = std::unique_ptr<libpff_file_t, FileDeleter>;
using Item = std::unique_ptr<libpff_item_t, ItemDeleter>;
using RecordSet = std::unique_ptr<libpff_record_set_t, RecordSetDeleter>;
using RecordEntry = std::unique_ptr<libpff_record_entry_t, RecordEntryDeleter>;

// Property value types (the low half of a MAPI property tag).
namespace type {
inline constexpr std::uint32_t kInt16 = 0x0002;
inline constexpr std::uint32_t kInt32 = 0x0003;
inline constexpr std::uint32_t kFloat32 = 0x0004;
inline constexpr std::uint32_t kFloat64 = 0x0005;
inline constexpr std::uint32_t kBoolean = 0x000B;
inline constexpr std::uint32_t kInt64 = 0x0014;
inline constexpr std::uint32_t kString8 = 0x001E;
inline constexpr std::uint32_t kUnicode = 0x001F;
inline constexpr std::uint32_t kFiletime = 0x0040;
inline constexpr std::uint32_t kBinary = 0x0102;
}  // namespace type

// A second handle on the same item with caches of its own: what libpff reads through it is
// freed with it. Nothing when libpff cannot copy the item.
Item CloneItem(libpff_item_t* item);

// The entry of `property_id` in record set `record_set` of `item`, of any value type. Named
// properties (0x8000 and up) are looked up by their LID through the store's name-to-id map.
// Nothing when the item has no such record set or entry.
RecordEntry FindEntry(libpff_item_t* item, int record_set, std::uint32_t property_id);

// The entry's stored value type, or nothing.
std::optional<std::uint32_t> ValueType(libpff_record_entry_t* entry);

// Typed reads of an entry; nothing when libpff cannot give the value in that form.
std::optional<std::int32_t> ReadInt32(libpff_record_entry_t* entry);
std::optional<std::uint64_t> ReadFiletime(libpff_record_entry_t* entry);
std::optional<double> ReadFloat(libpff_record_entry_t* entry);
std::optional<bool> ReadBoolean(libpff_record_entry_t* entry);
// 8-bit strings are converted with the code page libpff was given.
std::optional<std::u16string> ReadUtf16(libpff_record_entry_t* entry);
std::optional<std::vector<std::uint8_t>> ReadBinary(libpff_record_entry_t* entry);

// A UTF-16 property of record set 0 of `item`, or nothing.
std::optional<std::u16string> Utf16Property(libpff_item_t* item, std::uint32_t property_id);

}  // namespace bm::pff

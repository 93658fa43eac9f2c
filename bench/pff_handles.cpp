#include "bench/pff_handles.h"

#include <array>

namespace bm::pff {

std::string Error::Message() const {
  if (error_ == nullptr) return {};
  std::array<char, 1024> buffer{};
  if (libpff_error_sprint(error_, buffer.data(), buffer.size()) <= 0) return "libpff error";
  return buffer.data();
}

void Error::Clear() {
  if (error_ != nullptr) libpff_error_free(&error_);
}

void FileDeleter::operator()(libpff_file_t* file) const {
  // Closing a file that is not open fails harmlessly; free releases it either way.
  libpff_file_close(file, nullptr);
  libpff_file_free(&file, nullptr);
}

void ItemDeleter::operator()(libpff_item_t* item) const {
  libpff_item_free(&item, nullptr);
}

void RecordSetDeleter::operator()(libpff_record_set_t* set) const {
  libpff_record_set_free(&set, nullptr);
}

void RecordEntryDeleter::operator()(libpff_record_entry_t* entry) const {
  libpff_record_entry_free(&entry, nullptr);
}

Item CloneItem(libpff_item_t* item) {
  libpff_item_t* copy = nullptr;
  Error error;
  if (item == nullptr || libpff_item_clone(&copy, item, error.out()) != 1) return Item();
  return Item(copy);
}

RecordEntry FindEntry(libpff_item_t* item, int record_set, std::uint32_t property_id) {
  if (item == nullptr) return nullptr;
  Error error;
  libpff_record_set_t* raw_set = nullptr;
  if (libpff_item_get_record_set_by_index(item, record_set, &raw_set, error.out()) != 1) {
    return nullptr;
  }
  RecordSet set(raw_set);
  libpff_record_entry_t* raw_entry = nullptr;
  if (libpff_record_set_get_entry_by_type(set.get(), property_id, 0, &raw_entry,
                                          LIBPFF_ENTRY_VALUE_FLAG_MATCH_ANY_VALUE_TYPE,
                                          error.out()) != 1) {
    return nullptr;
  }
  return RecordEntry(raw_entry);
}

std::optional<std::uint32_t> ValueType(libpff_record_entry_t* entry) {
  std::uint32_t value_type = 0;
  Error error;
  if (libpff_record_entry_get_value_type(entry, &value_type, error.out()) != 1) return {};
  return value_type;
}

std::optional<std::int32_t> ReadInt32(libpff_record_entry_t* entry) {
  std::uint32_t value = 0;
  Error error;
  if (libpff_record_entry_get_data_as_32bit_integer(entry, &value, error.out()) != 1) return {};
  return static_cast<std::int32_t>(value);
}

std::optional<std::uint64_t> ReadFiletime(libpff_record_entry_t* entry) {
  std::uint64_t value = 0;
  Error error;
  if (libpff_record_entry_get_data_as_filetime(entry, &value, error.out()) != 1) return {};
  return value;
}

std::optional<double> ReadFloat(libpff_record_entry_t* entry) {
  double value = 0;
  Error error;
  if (libpff_record_entry_get_data_as_floating_point(entry, &value, error.out()) != 1) return {};
  return value;
}

std::optional<bool> ReadBoolean(libpff_record_entry_t* entry) {
  std::uint8_t value = 0;
  Error error;
  if (libpff_record_entry_get_data_as_boolean(entry, &value, error.out()) != 1) return {};
  return value != 0;
}

std::optional<std::u16string> ReadUtf16(libpff_record_entry_t* entry) {
  std::size_t size = 0;
  Error error;
  if (libpff_record_entry_get_data_as_utf16_string_size(entry, &size, error.out()) != 1) {
    return {};
  }
  if (size == 0) return std::u16string();
  std::vector<std::uint16_t> units(size);
  if (libpff_record_entry_get_data_as_utf16_string(entry, units.data(), units.size(),
                                                   error.out()) != 1) {
    return {};
  }
  std::u16string text(units.begin(), units.end());
  // The size includes the terminator; stop at the first NUL like a C string would.
  if (const auto nul = text.find(u'\0'); nul != std::u16string::npos) text.resize(nul);
  return text;
}

std::optional<std::vector<std::uint8_t>> ReadBinary(libpff_record_entry_t* entry) {
  std::size_t size = 0;
  Error error;
  if (libpff_record_entry_get_data_size(entry, &size, error.out()) != 1) return {};
  std::vector<std::uint8_t> data(size);
  if (size > 0 && libpff_record_entry_get_data(entry, data.data(), data.size(), error.out()) != 1) {
    return {};
  }
  return data;
}

std::optional<std::u16string> Utf16Property(libpff_item_t* item, std::uint32_t property_id) {
  const RecordEntry entry = FindEntry(item, 0, property_id);
  if (!entry) return {};
  return ReadUtf16(entry.get());
}

}  // namespace bm::pff

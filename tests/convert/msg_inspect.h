// Test-side reading of MSG files and MIME messages, through libgsf's and GMime's input sides.
#pragma once

#include <gmime/gmime.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "msg/glib_ptr.h"

namespace bm::test {

// A compound file storage read whole: its streams and child storages by name.
struct Storage {
  std::map<std::string, std::string> streams;
  std::map<std::string, Storage> storages;
  std::array<std::uint8_t, 16> class_id{};
};

// nullopt when libgsf cannot open the file as a compound file.
std::optional<Storage> ReadCompoundFile(const std::filesystem::path& path);

struct PropertyEntry {
  std::uint32_t tag = 0;
  std::uint32_t flags = 0;
  std::uint64_t value = 0;  // fixed-length value, or the size (low 32 bits) of a variable one
};

struct PropertyStream {
  std::string header;
  std::map<std::uint32_t, PropertyEntry> entries;
  bool whole_entries = true;  // the stream after the header is a multiple of 16 bytes
};

PropertyStream ParsePropertyStream(const Storage& storage, std::size_t header_size);

// A PT_UNICODE property's stream as UTF-8; nullopt when the stream is missing.
std::optional<std::string> UnicodeProperty(const Storage& storage, std::uint32_t tag);

// The little-endian 32-bit value at `offset` of `bytes`.
std::uint32_t U32At(const std::string& bytes, std::size_t offset);

// Parses a message file (test side).
GObjectPtr<GMimeMessage> ParseMessageFile(const std::filesystem::path& path);
GObjectPtr<GMimeMessage> ParseMessageBytes(const std::string& bytes);

// The decoded content of the first leaf part of the given type, or nullopt.
std::optional<std::string> FindPartContent(GMimeObject* root, const char* type,
                                           const char* subtype);

struct FoundAttachment {
  std::string name;
  std::string content_type;
  std::string data;                  // decoded bytes (empty for messages)
  GObjectPtr<GMimeMessage> message;  // set for message/rfc822 parts
};

// Leaves with an attachment disposition and message/rfc822 parts, in order.
std::vector<FoundAttachment> FindAttachments(GMimeObject* root);

// "Name <addr>" of every mailbox of an address list, joined by ", ".
std::string MailboxesText(InternetAddressList* list);

}  // namespace bm::test

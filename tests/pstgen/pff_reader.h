// Reads a PST back with libpff into plain values the tests compare with what was built.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pstgen::test {

struct PffProperty {
  std::uint32_t value_type = 0;
  std::vector<std::uint8_t> data;
  std::optional<std::vector<std::uint8_t>> guid;  // set for named properties
  std::optional<std::uint32_t> lid;               // numeric named properties
};

struct PffRecipient {
  std::u16string name;
  std::u16string address;
  std::int32_t type = -1;
  std::map<std::uint32_t, PffProperty> properties;
};

struct PffMessage;

struct PffAttachment {
  int type = 0;  // 'd' data, 'i' embedded item
  std::optional<std::u16string> long_filename;
  std::vector<std::uint8_t> data;
  std::shared_ptr<PffMessage> embedded;
  std::map<std::uint32_t, PffProperty> properties;  // the attachment object's, by stored id
};

struct PffMessage {
  std::u16string message_class;
  std::optional<std::u16string> subject;
  std::optional<std::string> plain_body;  // UTF-8, as libpff gives it
  std::optional<std::string> html_body;
  std::optional<std::string> rtf_body;  // decompressed by libpff
  std::vector<PffRecipient> recipients;
  std::vector<PffAttachment> attachments;
  std::map<std::uint32_t, PffProperty> properties;  // by entry type (the stored id)
};

struct PffFolder {
  std::u16string name;
  std::optional<std::u16string> container_class;
  std::vector<PffFolder> folders;
  std::vector<PffMessage> messages;
  int associated_count = 0;  // -1 when libpff cannot count them
};

struct PffStore {
  PffFolder root;
  bool corrupted = false;
  int encryption_type = 0;
};

// Reads the whole store; throws std::runtime_error with libpff's message when it fails.
// Bodies and attachment bytes are read for at most `message_limit` messages per folder.
PffStore ReadWithLibpff(const std::filesystem::path& path, std::size_t message_limit = SIZE_MAX);

// Little helpers over read properties.
std::optional<std::u16string> Utf16Of(const PffProperty& property);
std::optional<std::int64_t> IntegerOf(const PffProperty& property);

}  // namespace pstgen::test

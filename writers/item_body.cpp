#include "writers/item_body.h"

#include <optional>

#include "engine/pff.h"

namespace bm {

namespace {

using SizeReader = int (*)(libpff_item_t*, std::size_t*, libpff_error_t**);
using BodyReader = int (*)(libpff_item_t*, std::uint8_t*, std::size_t, libpff_error_t**);

struct BodyCall {
  BodySource source;
  BodyKind kind;
  SizeReader size;
  BodyReader read;
};

constexpr BodyCall kHtml{BodySource::kHtml, BodyKind::kHtml, libpff_message_get_html_body_size,
                         libpff_message_get_html_body};
constexpr BodyCall kRtf{BodySource::kRtf, BodyKind::kRtf, libpff_message_get_rtf_body_size,
                        libpff_message_get_rtf_body};
constexpr BodyCall kText{BodySource::kText, BodyKind::kText,
                         libpff_message_get_plain_text_body_size,
                         libpff_message_get_plain_text_body};

// The reported size when the body is stored, nothing when it is not.
std::optional<std::size_t> StoredSize(libpff_item_t* item, const BodyCall& call) {
  std::size_t size = 0;
  pff::Error error;
  if (call.size(item, &size, error.out()) != 1) return std::nullopt;
  return size;
}

ItemBody Read(libpff_item_t* item, const BodyCall& call, std::size_t size) {
  ItemBody body;
  body.source = call.source;
  body.reported_size = size;
  body.record.kind = call.kind;
  if (size == 0) return body;
  std::vector<std::uint8_t> bytes(size);
  pff::Error error;
  if (call.read(item, bytes.data(), bytes.size(), error.out()) != 1) return body;
  // The size counts the terminating zero libpff adds; the content ends before it.
  while (!bytes.empty() && bytes.back() == 0) bytes.pop_back();
  body.record.bytes = std::move(bytes);
  return body;
}

}  // namespace

ItemBody ReadEmailBody(libpff_item_t* item) {
  if (const auto size = StoredSize(item, kHtml)) return Read(item, kHtml, *size);
  for (const BodyCall* call : {&kRtf, &kText}) {
    if (const auto size = StoredSize(item, *call); size && *size > 0) {
      return Read(item, *call, *size);
    }
  }
  return ItemBody{};
}

ItemBody ReadItemBody(libpff_item_t* item) {
  for (const BodyCall* call : {&kHtml, &kText, &kRtf}) {
    if (const auto size = StoredSize(item, *call)) return Read(item, *call, *size);
  }
  return ItemBody{};
}

}  // namespace bm

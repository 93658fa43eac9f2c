// Which of an item's stored bodies a writer takes, and its bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "mapi/records.h"
#include "writers/row_records.h"

namespace bm {

// Which stored body was chosen; kNone when the item has none the writer takes.
enum class BodySource { kHtml, kRtf, kText, kNone };

struct ItemBody {
  BodySource source = BodySource::kNone;
  // The body's size counting a terminating zero (0 when nothing was chosen or it is empty).
  std::uint64_t reported_size = 0;
  // HTML and RTF bytes as stored; plain text as UTF-8. Without a terminating zero.
  RecordBody record;

  BodyKind kind() const { return record.kind; }
};

// The e-mail writer's choice: an HTML body whenever one is stored, else an RTF body, else a
// plain-text body (each only when not empty), else none.
ItemBody EmailBody(const mapi::Bodies& bodies);

// The other writers' choice: HTML, else plain text, else RTF, whichever is stored first.
ItemBody TextItemBody(const mapi::Bodies& bodies);

}  // namespace bm

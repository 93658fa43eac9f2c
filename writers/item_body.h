// Reading an item's body: which of the three stored bodies a writer takes, and its bytes.
#pragma once

#include <libpff.h>

#include <cstdint>
#include <vector>

#include "preview/row_records.h"

namespace bm {

// Which stored body was chosen; kNone when the item has none the writer takes.
enum class BodySource { kHtml, kRtf, kText, kNone };

struct ItemBody {
  BodySource source = BodySource::kNone;
  // The size libpff reports, which counts the terminating zero (0 when nothing was chosen).
  std::uint64_t reported_size = 0;
  // The body without its terminating zero; empty when it could not be read.
  RecordBody record;

  BodyKind kind() const { return record.kind; }
};

// The e-mail writer's choice: an HTML body whenever one is stored, else an RTF body, else a
// plain-text body (each only when not empty), else none.
ItemBody ReadEmailBody(libpff_item_t* item);

// The other writers' choice: HTML, else plain text, else RTF, whichever is stored first.
ItemBody ReadItemBody(libpff_item_t* item);

}  // namespace bm

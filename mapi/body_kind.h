// Which form of the body an item carries. The values are those the row records keep.
#pragma once

#include <cstdint>

namespace bm {

// 1 HTML, 2 RTF, 3 plain text (also used when there is no body).
enum class BodyKind : std::int32_t { kHtml = 1, kRtf = 2, kText = 3 };

}  // namespace bm

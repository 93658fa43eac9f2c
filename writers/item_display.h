// What a writer shows while it works: the status line of a conversion and the list row of a
// folder load. The window behind it belongs to the front end.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace bm {

// The seven texts of one item-list row: NO, Items, From, E-mail Subject, Date/time, Flag, Size.
using ListRow = std::array<std::u16string, 7>;

class ItemDisplay {
 public:
  virtual ~ItemDisplay() = default;

  virtual void SetStatusText(std::u16string_view text) = 0;
  virtual void InsertListRow(int position, const ListRow& row) = 0;
};

}  // namespace bm

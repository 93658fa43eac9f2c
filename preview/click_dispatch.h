// A click on the item list: find the row record behind the clicked row and show its preview.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "writers/item_display.h"

namespace bm {

struct PreviewEnv;

// The texts of the first selected row that the click handler reads: column 0 ("NO"),
// column 1 ("Items", the kind word) and column 2 ("From").
struct ClickedRow {
  std::u16string number;
  std::u16string kind;
  std::u16string from;
};

// The texts a click reads from a list row: columns 0, 1 and 2.
ClickedRow ClickedRowOf(const ListRow& row);

// The row a click previews when several are selected: the selected row with the lowest index
// (not necessarily the one clicked). Indexes outside `rows` are ignored; nothing when none is
// left.
std::optional<ClickedRow> FirstSelectedRow(const std::vector<ListRow>& rows,
                                           const std::vector<std::size_t>& selected_indexes);

// The item list's click handler. `first_selected` is the selected row with the lowest index,
// or nothing when no row is selected. Looks the record up under the row record lists' lock,
// writes the preview files into the temp folder and ends with env.window.Navigate.
// Returns 1 when a preview was shown, 0 when nothing matched (no selection, an unknown kind
// word, no record with that number) and nothing was written or shown.
int ShowItemPreview(const PreviewEnv& env, const std::optional<ClickedRow>& first_selected);

// Column 0's text as a record number, read like atoi: leading blanks, an optional sign,
// decimal digits up to the first non-digit; no digits gives 0. Saturates instead of
// overflowing.
std::int32_t ParseRowNumber(std::u16string_view text);

}  // namespace bm

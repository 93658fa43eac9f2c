// Where a preview page is shown: the browser of the window, which also carries the status line
// that says why a page could not be written.
#pragma once

#include <string_view>

#include "writers/item_display.h"

namespace bm {

class PageDisplay : public ItemDisplay {
 public:
  virtual void Navigate(std::u16string_view file_path) = 0;
};

}  // namespace bm

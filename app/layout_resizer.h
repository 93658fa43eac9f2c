// The anchor resizer: keeps registered controls tied to the edges of a resizable window.
// Pure arithmetic on rectangles; the main window feeds it rectangles and carries out the moves.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace bm::app {

namespace anchor {
inline constexpr unsigned kTop = 0x10;
inline constexpr unsigned kBottom = 0x20;
inline constexpr unsigned kLeft = 0x40;
inline constexpr unsigned kRight = 0x80;
}  // namespace anchor

// Edges of the change mask: which window edges moved in the last resize.
namespace edge {
inline constexpr unsigned kLeft = 0x40;
inline constexpr unsigned kTop = 0x10;
inline constexpr unsigned kRight = 0x80;
inline constexpr unsigned kBottom = 0x20;
}  // namespace edge

struct IntRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  friend bool operator==(const IntRect&, const IntRect&) = default;
};

// One queued move: the control and its new place, truncated to whole pixels.
struct ControlMove {
  int control_id = 0;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const ControlMove&, const ControlMove&) = default;
};

class LayoutResizer {
 public:
  static constexpr std::size_t kMaxEntries = 256;

  // Appends an entry; ignored (false) once 256 exist.
  bool Register(int control_id, unsigned anchor_flags);

  // Records the window's rectangle (screen coordinates), its client rectangle and every
  // registered control's rectangle in client coordinates; `find` returns nothing for an id
  // the window does not hold, and such an entry is never moved.
  void Capture(const IntRect& window, const IntRect& client,
               const std::function<std::optional<IntRect>(int control_id)>& find);

  // The moves for a change from the previous window rectangle to `window`.
  std::vector<ControlMove> Apply(const IntRect& window);

  bool captured() const { return captured_; }
  std::size_t entry_count() const { return entries_.size(); }
  unsigned change_mask() const { return change_mask_; }
  int width_change() const { return width_change_; }
  int height_change() const { return height_change_; }
  const IntRect& client() const { return client_; }

 private:
  struct Entry {
    int control_id = 0;
    unsigned flags = 0;
    double top = 0;
    double left = 0;
    double right = 0;
    double bottom = 0;
    bool attached = false;  // the window holds a control with this id
  };

  static bool MoveHorizontally(Entry& entry, int d);
  static bool MoveVertically(Entry& entry, int e);

  IntRect old_window_;
  IntRect new_window_;
  IntRect client_;
  unsigned change_mask_ = 0;
  int width_change_ = 0;
  int height_change_ = 0;
  std::vector<Entry> entries_;
  bool captured_ = false;
};

}  // namespace bm::app

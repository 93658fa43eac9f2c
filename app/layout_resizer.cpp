#include "app/layout_resizer.h"

namespace bm::app {

bool LayoutResizer::Register(int control_id, unsigned anchor_flags) {
  if (entries_.size() >= kMaxEntries) return false;
  entries_.push_back({.control_id = control_id, .flags = anchor_flags});
  return true;
}

void LayoutResizer::Capture(const IntRect& window, const IntRect& client,
                            const std::function<std::optional<IntRect>(int control_id)>& find) {
  old_window_ = window;
  new_window_ = window;
  client_ = client;
  for (Entry& entry : entries_) {
    const std::optional<IntRect> place = find(entry.control_id);
    entry.attached = place.has_value();
    if (!place) continue;
    entry.left = place->left;
    entry.top = place->top;
    entry.right = place->right;
    entry.bottom = place->bottom;
  }
  captured_ = true;
}

bool LayoutResizer::MoveHorizontally(Entry& entry, int d) {
  const double width = entry.right - entry.left;
  const bool left = entry.flags & anchor::kLeft;
  const bool right = entry.flags & anchor::kRight;
  if (left && !right) return false;
  if (left && right) {
    entry.right += d;
  } else if (right) {
    entry.left += d;
    entry.right = entry.left + width;
  } else {
    entry.left += d / 2.0;
    entry.right = entry.left + width;
  }
  return true;
}

bool LayoutResizer::MoveVertically(Entry& entry, int e) {
  const double height = entry.bottom - entry.top;
  const bool top = entry.flags & anchor::kTop;
  const bool bottom = entry.flags & anchor::kBottom;
  if (top && !bottom) return false;
  if (top && bottom) {
    entry.bottom += e;
  } else if (bottom) {
    entry.top += e;
    entry.bottom = entry.top + height;
  } else {
    entry.top += e / 2.0;
    entry.bottom = entry.top + height;
  }
  return true;
}

std::vector<ControlMove> LayoutResizer::Apply(const IntRect& window) {
  new_window_ = window;
  width_change_ = (window.right - old_window_.right) - (window.left - old_window_.left);
  height_change_ = (window.bottom - old_window_.bottom) - (window.top - old_window_.top);
  change_mask_ = 0;
  if (window.left != old_window_.left) change_mask_ |= edge::kLeft;
  if (window.top != old_window_.top) change_mask_ |= edge::kTop;
  if (window.right != old_window_.right) change_mask_ |= edge::kRight;
  if (window.bottom != old_window_.bottom) change_mask_ |= edge::kBottom;
  client_.right += width_change_;
  client_.bottom += height_change_;

  const bool horizontal = (change_mask_ & (edge::kLeft | edge::kRight)) && width_change_ != 0;
  const bool vertical = (change_mask_ & (edge::kTop | edge::kBottom)) && height_change_ != 0;
  std::vector<ControlMove> moves;
  for (Entry& entry : entries_) {
    if (!entry.attached) continue;
    bool changed = false;
    if (horizontal) changed |= MoveHorizontally(entry, width_change_);
    if (vertical) changed |= MoveVertically(entry, height_change_);
    if (!changed) continue;
    moves.push_back({.control_id = entry.control_id,
                     .x = static_cast<int>(entry.left),
                     .y = static_cast<int>(entry.top),
                     .width = static_cast<int>(entry.right - entry.left),
                     .height = static_cast<int>(entry.bottom - entry.top)});
  }
  old_window_ = window;
  return moves;
}

}  // namespace bm::app

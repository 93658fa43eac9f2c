// The folder tree: one check box per folder, icons chosen from the folder's name and kind, and
// ticks that spread down to a whole sub-tree and up through every ancestor.
#pragma once

#include <QTreeWidget>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/main_window.h"

namespace bm::app {

class CFolderTreeCtrl1 : public QTreeWidget {
  Q_OBJECT

 public:
  explicit CFolderTreeCtrl1(QWidget* parent = nullptr);

  // Loads the 17 folder icons in index order.
  void BuildImageList();

  // Inserts a node as the last child of `parent` (kNoTreeItem: the tree root) and expands the
  // PST node and the parent. A node under the tree root becomes the PST node and shows image 0.
  TreeItem InsertNode(std::u16string_view display_name, std::u16string_view kind_name,
                      TreeItem parent);
  void DeleteAllNodes();

  bool IsChecked(TreeItem item) const;
  // The check box click: ticks or unticks the sub-tree and decides the ancestors.
  void ToggleCheck(TreeItem item);

  QTreeWidgetItem* ItemOf(TreeItem item) const;
  TreeItem HandleOf(const QTreeWidgetItem* item) const;
  TreeItem root_item() const { return root_item_; }
  int ImageIndexOf(TreeItem item) const;
  // Where the check box of `item` is drawn, in viewport coordinates.
  QRect CheckBoxRect(TreeItem item) const;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  // Whether a press at `pos` lies on an item's check box (that item), or on no item at all.
  enum class Hit { kNothing, kItem, kCheckBox };
  Hit HitTest(const QPoint& pos, QTreeWidgetItem** item) const;

  std::vector<QIcon> images_;
  std::unordered_map<TreeItem, QTreeWidgetItem*> items_;
  TreeItem next_handle_ = 1;
  TreeItem root_item_ = kNoTreeItem;
  bool swallow_release_ = false;
};

}  // namespace bm::app

// The folder node list: one node per walked folder, in depth-first pre-order.
#pragma once

#include <string>
#include <vector>

#include "engine/main_window.h"
#include "pst/store.h"

namespace bm {

struct FolderNode {
  std::u16string name;                  // sanitised display name, also the tree text
  int depth = 0;                        // 1 directly under the store's root folder
  std::u16string relative_folder_path;  // parent's path below the items export path
  // For a folder deeper than the window shows: its deepest shown ancestor's tree item.
  TreeItem parent_tree_item = kNoTreeItem;
  TreeItem tree_item = kNoTreeItem;  // kNoTreeItem for a folder deeper than the window shows
  pst::Nid folder_nid = 0;           // the folder in the open store
  std::u16string folder_kind;
  // Why the folder's name (or all its own properties) cannot be read; empty when it can.
  // Such a folder is still walked and converted, under a stand-in name.
  std::u16string unreadable_cause;

  // The folder path consumers use: relative folder path, a separator and the name.
  std::u16string FolderPath() const;

  // The tree item whose tick selects this folder for conversion: its own, or for a folder
  // the tree does not show, that of its deepest shown ancestor.
  TreeItem TickItem() const { return tree_item != kNoTreeItem ? tree_item : parent_tree_item; }
};

// Nodes are only appended, and dropped all together when the next scan starts.
using FolderNodeList = std::vector<FolderNode>;

}  // namespace bm

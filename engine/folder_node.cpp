#include "engine/folder_node.h"

#include "base/paths.h"

namespace bm {

std::u16string FolderNode::FolderPath() const {
  return relative_folder_path + std::u16string(kSeparatorText) + name;
}

}  // namespace bm

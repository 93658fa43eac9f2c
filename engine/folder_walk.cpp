#include "engine/folder_walk.h"

#include <algorithm>
#include <new>
#include <optional>

#include "base/paths.h"
#include "base/text.h"
#include "base/value_text.h"
#include "engine/app_state.h"
#include "mapi/property_tags.h"

namespace bm {

namespace {

constexpr std::size_t kMaxNameLength = 255;
constexpr std::u16string_view kItemsDirectoryName = u"xxxexportdata";

// A damaged store could nest folders without end; the walk stops descending here rather than
// exhausting the stack.
constexpr int kMaxWalkDepth = 512;

bool IsReplacedInName(char16_t c) {
  if (c < 32 || c == 0x7F) return true;
  switch (c) {
    case u'/':
    case u'\\':
    case u'!':
    case u'$':
    case u'%':
    case u'&':
    case u'*':
    case u'+':
    case u':':
    case u';':
    case u'<':
    case u'>':
    case u'?':
    case u'@':
    case u'~':
    case u'|':
      return true;
    default:
      return false;
  }
}

int SeparatorCount(std::u16string_view path) {
  int count = 0;
  for (char16_t c : path) count += c == kSeparator;
  return count;
}

// Reads the container class: absent, unreadable (empty kind) or its text.
std::u16string ReadFolderKind(const pst::PropertyBag& folder) {
  const Result<std::optional<std::u16string>> container_class =
      folder.String(mapi::pid::kContainerClass);
  if (!container_class) return u"";
  if (!*container_class) return FolderKindText(nullptr);
  return FolderKindText(&**container_class);
}

void AppendNode(AppState& state, FolderNode node) {
  try {
    state.folder_nodes.push_back(std::move(node));
  } catch (const std::bad_alloc&) {
    const bool was_empty = state.folder_nodes.empty();
    state.main_window.MessageBox(was_empty ? u"Not Enough Memory" : u"Not Enough Of Memory",
                                 kCaption1, mb::kReport, BoxOwner::kNone);
    // The scan fails with the reason; the front end reports it and ends non-zero.
    throw;
  }
}

int WalkFolder(AppState& state, pst::Nid folder, std::u16string_view parent_directory_path,
               int walk_depth);

void WalkSubFolders(AppState& state, pst::Nid folder, std::u16string_view directory_path,
                    int walk_depth) {
  for (const pst::Nid sub_folder : state.store->SubFolders(folder)) {
    WalkFolder(state, sub_folder, directory_path, walk_depth + 1);
  }
}

int WalkFolder(AppState& state, pst::Nid folder, std::u16string_view parent_directory_path,
               int walk_depth) {
  if (!state.session || !state.store) return -1;
  const Result<pst::Folder> opened = state.store->OpenFolder(folder);
  std::u16string name;
  std::u16string kind;
  std::u16string unreadable_cause;
  const Result<std::optional<std::u16string>> display_name =
      opened ? opened->properties().String(mapi::pid::kDisplayName)
             : Result<std::optional<std::u16string>>(opened.error());
  if (display_name) {
    name = SanitiseFolderName(display_name->value_or(u""));
    kind = ReadFolderKind(opened->properties());
  } else {
    // Its items and sub-folders are nodes of their own that may well be readable: the folder
    // stays in the tree under a stand-in name (never the empty name, which would put its items
    // among its parent's), and the conversion names it.
    name = UnreadableFolderName(folder);
    unreadable_cause = FromUtf8(display_name.error().message());
    if (opened) kind = ReadFolderKind(opened->properties());
    state.Log(u"Folder name not readable, shown as \"" + name + u"\": " + unreadable_cause);
  }
  const std::u16string directory_path = JoinPath(parent_directory_path, name);
  std::u16string relative_path = RelativeFolderPath(parent_directory_path);
  const int depth = SeparatorCount(relative_path) + 1;
  // Folders deeper than the window shows still get a node, so they are listed and converted;
  // they hang from their deepest shown ancestor, whose tick converts them.
  auto& depth_parents = state.depth_parent_table;
  if (depth_parents.size() <= static_cast<std::size_t>(depth)) {
    depth_parents.resize(static_cast<std::size_t>(depth) + 1, kNoTreeItem);
  }
  const int shown_depth = std::max(1, state.main_window.ShownTreeDepth());
  const int parent_depth = depth <= shown_depth ? depth - 1 : shown_depth;
  const TreeItem parent = depth_parents[static_cast<std::size_t>(parent_depth)];
  TreeItem tree_item = kNoTreeItem;
  if (depth <= shown_depth) {
    tree_item = state.main_window.InsertTreeItem(parent, name, kind);
    depth_parents[static_cast<std::size_t>(depth)] = tree_item;
  }
  AppendNode(state, FolderNode{.name = std::move(name),
                               .depth = depth,
                               .relative_folder_path = std::move(relative_path),
                               .parent_tree_item = parent,
                               .tree_item = tree_item,
                               .folder_nid = folder,
                               .folder_kind = std::move(kind),
                               .unreadable_cause = std::move(unreadable_cause)});
  if (walk_depth < kMaxWalkDepth) WalkSubFolders(state, folder, directory_path, walk_depth);
  return 1;
}

}  // namespace

std::u16string SanitiseFolderName(std::u16string name) {
  if (name.size() > kMaxNameLength) name.resize(kMaxNameLength);
  for (char16_t& c : name) {
    if (IsReplacedInName(c)) c = u'_';
  }
  return name;
}

std::u16string UnreadableFolderName(pst::Nid folder) {
  return u"Folder " + Hex32Text(folder);
}

std::u16string FolderKindText(const std::u16string* container_class) {
  if (container_class == nullptr) return u"folder";
  const std::u16string& c = *container_class;
  if (c == u"IPF.Note") return u"email";
  if (c == u"IPF.Task") return u"task";
  if (c == u"IPF.Contact") return u"contact";
  if (c == u"IPF.Journal") return u"journal";
  if (c == u"IPF.Appointment") return u"calendar";
  if (c == u"IPF.StickyNote") return u"note";
  return c;
}

std::u16string RelativeFolderPath(std::u16string_view parent_directory_path) {
  const std::size_t first = parent_directory_path.find(kItemsDirectoryName);
  if (first == std::u16string_view::npos) return {};
  const std::u16string_view rest = parent_directory_path.substr(first + kItemsDirectoryName.size());
  return std::u16string(rest.substr(0, rest.find(kItemsDirectoryName)));
}

int export_handle_export_folder(AppState& state, pst::Nid folder, int /*item_index*/,
                                std::u16string_view parent_directory_path) {
  return WalkFolder(state, folder, parent_directory_path, 0);
}

}  // namespace bm

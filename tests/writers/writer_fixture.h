// Scans a store as Open & Scan does and runs the writers through the real folder export, in
// preview mode (a folder selection) or conversion mode (one folder of a conversion).
#pragma once

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "engine/app_state.h"
#include "engine/dispatch.h"
#include "engine/scan_worker.h"
#include "mapi/records.h"
#include "support/recording_window.h"
#include "support/test_support.h"
#include "tools/pstgen/pstgen.h"

namespace bm::test {

class WriterFixture {
 public:
  WriterFixture() : state(window) {}

  // Writes `store` into the fixture's directory and scans it.
  bool ScanStore(const pstgen::Store& store) {
    const std::filesystem::path pst = temp.path() / "store.pst";
    pstgen::Write(store, pst);
    return Scan(pst);
  }

  bool Scan(const std::filesystem::path& pst) {
    EXPECT_TRUE(PrepareScan(state, FromPath(pst), FromPath(temp.path() / "QelTemp")).ok());
    state.root_tree_item = window.InsertTreeItem(kNoTreeItem, state.paths.pst_path, u"");
    return RunScanWorker(state);
  }

  // The node whose folder path ends with `tail` ("/Inbox", "/Top of Personal Folders/Inbox").
  const FolderNode* Folder(std::u16string_view tail) const {
    for (const FolderNode& node : state.folder_nodes) {
      const std::u16string path = node.FolderPath();
      if (path.size() >= tail.size() &&
          path.compare(path.size() - tail.size(), tail.size(), tail) == 0) {
        return &node;
      }
    }
    return nullptr;
  }

  // Writes and scans a store with one item of `message_class`, made by `fill`, in a folder
  // "Inbox", and returns that item as the scanned store gives it.
  template <typename Fill>
  std::optional<pst::Message> ScanOne(Fill fill, const std::string& message_class = "IPM.Note") {
    pstgen::Store store;
    fill(store.top().AddFolder(u"Inbox", u"IPF.Note").AddMessage(message_class));
    if (!ScanStore(store)) return std::nullopt;
    return Message(u"/Inbox");
  }

  // Message `index` of the folder whose path ends with `tail`; empty when there is none.
  std::optional<pst::Message> Message(std::u16string_view tail, std::size_t index = 0) const {
    const FolderNode* node = Folder(tail);
    if (node == nullptr || !state.store) return std::nullopt;
    const auto messages = state.store->Messages(node->folder_nid);
    if (index >= messages.size()) return std::nullopt;
    Result<pst::Message> message = state.store->OpenMessage(messages[index]);
    if (!message) return std::nullopt;
    return std::move(*message);
  }

  // The record of `message` in the scanned store; a failed test when it cannot be read.
  template <typename Record>
  Record RecordOf(const pst::Message& message,
                  Result<Record> (*read)(const pst::Store&, const pst::Message&,
                                         mapi::Damage)) const {
    Result<Record> record = read(*state.store, message, mapi::Damage::kRefuse);
    EXPECT_TRUE(record.ok()) << record.error().message();
    return record ? std::move(*record) : Record{};
  }

  // Selects the folder in the tree: the folder load in preview mode.
  void Preview(const FolderNode& node) { EXPECT_TRUE(RunFolderLoad(state, node.tree_item).ok()); }

  // Converts the folder's items into `target` (a fresh directory when empty), which it returns.
  std::filesystem::path Convert(const FolderNode& node, std::filesystem::path target = {}) {
    if (target.empty()) target = temp.path() / ("out" + std::to_string(++conversions_));
    std::filesystem::create_directories(target);
    window.ClearCalls();  // what the conversion reports, without the scan before it
    state.conversion_mode = true;
    state.stop_flag = 0;
    export_handle_export_folder_items(state, node.folder_nid, FromPath(target));
    return target;
  }

  std::filesystem::path TempFolder() const { return ToPath(state.paths.temp_folder_path); }

  TempDir temp;
  RecordingWindow window;
  AppState state;

 private:
  int conversions_ = 0;
};

// The bytes of a UTF-16LE text file with its mark, as the text writers produce it.
inline std::string Utf16FileBytes(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

// The files directly in `directory`, by name.
inline std::vector<std::string> FileNames(const std::filesystem::path& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace bm::test

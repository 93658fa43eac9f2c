// Scans a store the way Open & Scan does, against a recording window.
#pragma once

#include <filesystem>

#include "base/paths.h"
#include "base/text.h"
#include "engine/app_state.h"
#include "engine/scan_worker.h"
#include "support/recording_window.h"
#include "support/test_support.h"

namespace bm::test {

class ScanFixture {
 public:
  ScanFixture() : state(window) {}

  bool Scan(const std::filesystem::path& pst) {
    EXPECT_TRUE(PrepareScan(state, FromPath(pst), FromPath(temp.path() / "QelTemp")).ok());
    state.root_tree_item = window.InsertTreeItem(kNoTreeItem, state.paths.pst_path, u"");
    return RunScanWorker(state);
  }

  std::filesystem::path TempFolder() const { return ToPath(state.paths.temp_folder_path); }

  TempDir temp;
  RecordingWindow window;
  AppState state;
};

}  // namespace bm::test

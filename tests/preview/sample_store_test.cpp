// Every row of every folder of the public sample stores, and of the demo store pstgen writes,
// previews, with well-formed pages.
#include <gtest/gtest.h>

#include <string>

#include "base/paths.h"
#include "base/text.h"
#include "engine/app_state.h"
#include "engine/dispatch.h"
#include "engine/item_click.h"
#include "engine/scan_worker.h"
#include "preview/click_dispatch.h"
#include "support/recording_window.h"
#include "support/test_support.h"
#include "tools/pstgen/presets.h"
#include "tools/pstgen/pstgen.h"

namespace bm {
namespace {

class SampleStorePreview : public ::testing::TestWithParam<const char*> {};

constexpr const char* kDemo = "demo";

TEST_P(SampleStorePreview, EveryRowPreviewsWithAWellFormedHeader) {
  test::TempDir dir;
  std::filesystem::path pst = dir.path() / "demo.pst";
  if (std::string_view(GetParam()) == kDemo) {
    pstgen::Write(pstgen::DemoStore(), pst);
  } else {
    pst = test::SamplePst(GetParam());
    if (pst.empty()) {
      GTEST_SKIP() << "sample store " << GetParam() << " not found (../shared/pst is absent)";
    }
  }
  test::RecordingWindow window;
  AppState state(window);
  EXPECT_TRUE(PrepareScan(state, FromPath(pst), FromPath(dir.path() / "QelTemp")).ok());
  state.root_tree_item = window.InsertTreeItem(kNoTreeItem, state.paths.pst_path, u"");
  ASSERT_TRUE(RunScanWorker(state));
  const bool check_xml = test::HaveProgram("xmllint");
  const std::filesystem::path header = ToPath(state.paths.temp_folder_path) / "header.html";

  int shown = 0;
  for (const FolderNode& node : state.folder_nodes) {
    EXPECT_TRUE(RunFolderLoad(state, node.tree_item).ok());
    for (const ListRow& row : window.Rows()) {
      std::filesystem::remove(header);
      ASSERT_EQ(OnClickItemList(state, ClickedRowOf(row)), 1) << ToUtf8(row[0]);
      ++shown;
      if (!check_xml || row[1] == u"note") continue;
      const auto result =
          test::Run("xmllint --noout --nonet " + test::Quote(header.string()) + " 2>&1");
      EXPECT_EQ(result.exit_code, 0) << ToUtf8(row[3]) << "\n" << result.output;
    }
  }
  EXPECT_GT(shown, 0);
}

INSTANTIATE_TEST_SUITE_P(PublicSamples, SampleStorePreview,
                         ::testing::Values("outlook.pst", "attachAndInline.pst", "dist-list.pst",
                                           kDemo));

}  // namespace
}  // namespace bm

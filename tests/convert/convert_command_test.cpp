#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "base/paths.h"
#include "base/text.h"
#include "engine/app_state.h"
#include "engine/convert_command.h"
#include "engine/scan_worker.h"
#include "msg/hresult.h"
#include "support/recording_window.h"
#include "support/test_support.h"
#include "tools/pstgen/pstgen.h"

namespace bm {
namespace {

namespace fs = std::filesystem;
using test::RecordingWindow;

constexpr const char* kGenerated = "generated";

// A store shaped like the public sample the tests were first written on: a welcome mail in the
// Inbox and in Recovered_Group2, which holds an Inbox of its own.
fs::path WriteSampleShapedStore(const fs::path& path) {
  pstgen::Store store;
  pstgen::Folder& top = store.top();
  top.AddFolder(u"Inbox", u"IPF.Note")
      .AddMessage("IPM.Note")
      .SetSubject(u"Welcome to Microsoft Office Outlook 2003")
      .SetBody(u"Welcome");
  pstgen::Folder& recovered = top.AddFolder(u"Recovered_Group2", u"IPF.Note");
  recovered.AddMessage("IPM.Note")
      .SetSubject(u"Welcome to Microsoft Office Outlook 2003")
      .SetHtml("<p>Welcome</p>");
  recovered.AddFolder(u"Inbox", u"IPF.Note");
  top.AddFolder(u"Calendar", u"IPF.Appointment").AddMessage("IPM.Appointment").SetSubject(u"Meet");
  pstgen::Write(store, path);
  return path;
}

// Each test runs on the public sample store (skipped when ../shared is absent) and on a
// written store of the same shape.
class ConvertCommandTest : public ::testing::TestWithParam<const char*> {
 protected:
  ConvertCommandTest() : state(window) {}

  void SetUp() override {
    if (std::string_view(GetParam()) == kGenerated) {
      pst = WriteSampleShapedStore(temp.path() / "generated.pst");
      return;
    }
    pst = test::SamplePst(GetParam());
    if (pst.empty()) {
      GTEST_SKIP() << "sample store " << GetParam() << " not found (../shared/pst is absent)";
    }
  }

  bool Scan(const fs::path& pst) {
    EXPECT_TRUE(PrepareScan(state, FromPath(pst), FromPath(temp.path() / "QelTemp")).ok());
    state.root_tree_item = window.InsertTreeItem(kNoTreeItem, state.paths.pst_path, u"");
    return RunScanWorker(state);
  }

  const FolderNode& Node(std::u16string_view folder_path) {
    for (const auto& node : state.folder_nodes) {
      if (node.FolderPath() == folder_path) return node;
    }
    throw std::runtime_error("no such folder");
  }

  // Runs the command and, when it says so, the worker; returns the destination root.
  fs::path Convert(const ComponentStarters& starters = {}) {
    window.ClearCalls();
    std::u16string destination;
    if (!ConvertCommand(state, destination, starters)) return {};
    RunConversionWorker(state, destination);
    return ToPath(state.report.DestinationRoot());
  }

  static std::set<std::string> FilesBelow(const fs::path& root) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      files.insert(fs::relative(entry.path(), root).string() + (entry.is_directory() ? "/" : ""));
    }
    return files;
  }

  test::TempDir temp;
  test::TempDir out;
  RecordingWindow window;
  AppState state;
  fs::path pst;
};

INSTANTIATE_TEST_SUITE_P(SampleAndGenerated, ConvertCommandTest,
                         ::testing::Values("outlook.pst", kGenerated));

TEST_P(ConvertCommandTest, NothingTickedAsksWhichFolder) {
  ASSERT_TRUE(Scan(pst));
  window.QueueBrowseAnswer(FromPath(out.path()));
  EXPECT_EQ(Convert(), fs::path());
  const auto boxes = window.CallsOf("box");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            u"Which Folder you want to convert? Please select the Folder from Left Tree Hierarchy");
  EXPECT_EQ(boxes[0].detail, u"Brindlemoor ");
  EXPECT_TRUE(window.CallsOf("browse").empty());
  EXPECT_FALSE(state.conversion_mode);
}

TEST_P(ConvertCommandTest, CancelledBrowserWritesNothingAndKeepsConversionMode) {
  ASSERT_TRUE(Scan(pst));
  window.SetChecked(Node(u"/Top of Personal Folders/Inbox").tree_item, true);
  window.QueueBrowseAnswer(std::nullopt);
  EXPECT_EQ(Convert(), fs::path());
  const auto browse = window.CallsOf("browse");
  ASSERT_EQ(browse.size(), 1u);
  EXPECT_EQ(browse[0].text, u"Select the Destination Path");
  EXPECT_TRUE(state.conversion_mode);
  EXPECT_TRUE(fs::is_empty(out.path()));
}

TEST_P(ConvertCommandTest, ComponentFailuresShowTheirMessageAndHelp) {
  ASSERT_TRUE(Scan(pst));
  window.SetChecked(Node(u"/Top of Personal Folders/Inbox").tree_item, true);

  ComponentStarters no_mime;
  no_mime.mime = [] { return E_FAIL; };
  EXPECT_EQ(Convert(no_mime), fs::path());
  ASSERT_EQ(window.BoxTexts().size(), 1u);
  EXPECT_EQ(window.BoxTexts()[0],
            u"mimelib.dll file is not register. read more how to register dll file...");
  EXPECT_EQ(window.CallsOf("box")[0].b, 1);  // owned by the main window
  EXPECT_EQ(window.CallsOf("open").size(), 1u);

  ComponentStarters no_session;
  no_session.messaging = [] { return E_FAIL; };
  EXPECT_EQ(Convert(no_session), fs::path());
  const auto boxes = window.CallsOf("box");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].detail, u"Brindlemoor              ");
  EXPECT_LT(state.messaging_session_status, 0);
  EXPECT_TRUE(window.CallsOf("browse").empty());
}

TEST_P(ConvertCommandTest, TickedFolderIsConvertedIntoAFullMirror) {
  ASSERT_TRUE(Scan(pst));
  window.SetChecked(Node(u"/Top of Personal Folders/Recovered_Group2").tree_item, true);
  window.QueueBrowseAnswer(FromPath(out.path()));
  const fs::path root = Convert();
  ASSERT_FALSE(root.empty());
  EXPECT_EQ(root.parent_path(), out.path());
  EXPECT_EQ(root.filename().string().rfind("convertPSTFile", 0), 0u);

  const auto files = FilesBelow(root);
  // Every folder gets its directory, ticked or not; only the ticked one gets items.
  EXPECT_TRUE(files.contains("Top-of-Personal-Folders/Inbox/"));
  EXPECT_TRUE(files.contains("Top-of-Personal-Folders/Recovered_Group2/Inbox/"));
  EXPECT_TRUE(files.contains("Search Root/"));
  EXPECT_TRUE(files.contains(
      "Top-of-Personal-Folders/Recovered_Group2/Welcome to Microsoft Office Outlook 2003--1.msg"));
  EXPECT_TRUE(fs::is_empty(root / "Top-of-Personal-Folders" / "Inbox"));

  EXPECT_EQ(window.BoxTexts(), std::vector<std::u16string>{u"Saving Completed"});
  EXPECT_EQ(window.CallsOf("box")[0].detail, u"Brindlemoor             ");
  EXPECT_EQ(window.StatusTexts().back(), u"");
  // The controls that start work are off for the run and back on after it.
  const auto enables = window.CallsOf("enable");
  ASSERT_EQ(enables.size(), 6u);
  EXPECT_EQ(enables.front().b, 0);
  EXPECT_EQ(enables.back().b, 1);
}

TEST_P(ConvertCommandTest, RunsInTheSameSecondNeverShareADestination) {
  ASSERT_TRUE(Scan(pst));
  window.SetChecked(Node(u"/Top of Personal Folders/Inbox").tree_item, true);
  std::set<fs::path> roots;
  for (int run = 0; run < 3; ++run) {
    window.QueueBrowseAnswer(FromPath(out.path()));
    roots.insert(Convert());
  }
  EXPECT_EQ(roots.size(), 3u);
  for (const auto& root : roots) {
    EXPECT_TRUE(fs::exists(root / "Top-of-Personal-Folders" / "Inbox" /
                           "Welcome to Microsoft Office Outlook 2003--1.msg"));
  }
}

TEST_P(ConvertCommandTest, StopEndsTheRunWithItsMessage) {
  ASSERT_TRUE(Scan(pst));
  for (const auto& node : state.folder_nodes) window.SetChecked(node.tree_item, true);
  // Stop is pressed as the run shows its first progress range, before any item is written.
  window.SetObserver([this](const RecordingWindow::Call& call) {
    if (call.op == "range") state.stop_flag = 1;
  });
  window.QueueBrowseAnswer(FromPath(out.path()));
  const fs::path root = Convert();
  window.SetObserver(nullptr);
  EXPECT_EQ(window.StatusTexts().back(), u"Process stopped by user");
  EXPECT_EQ(window.BoxTexts(), std::vector<std::u16string>{u"Process stopped by user!"});
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    EXPECT_TRUE(entry.is_directory()) << entry.path();
  }
}

TEST(DestinationRootNameTest, NumbersWithoutPadding) {
  std::tm local{};
  local.tm_year = 2013 - 1900;
  local.tm_mon = 2;
  local.tm_mday = 7;
  local.tm_hour = 9;
  local.tm_min = 5;
  local.tm_sec = 2;
  local.tm_isdst = -1;
  EXPECT_EQ(DestinationRootName(std::chrono::system_clock::from_time_t(std::mktime(&local))),
            u"convertPSTFile7320139"
            u"52");
}

}  // namespace
}  // namespace bm

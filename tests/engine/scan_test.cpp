#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <utility>
#include <vector>

#include "base/text.h"
#include "engine/scan_worker.h"
#include "scan_fixture.h"
#include "tools/pstgen/pstgen.h"

namespace bm {
namespace {

using test::ScanFixture;

std::string ReadLog(const AppState& state) {
  return test::ReadFile(ToPath(state.paths.log_file_path));
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// What every failed open leaves behind: the log and the box name the reason, the status, a
// bare tree.
void ExpectOpenFailure(const ScanFixture& f, const std::string& reason) {
  EXPECT_EQ(ReadLog(f.state),
            "start scanning process\r\n\r\nOpening file.\r\n\r\nError opening file: " + reason +
                "\r\n\r\n");
  const auto boxes = f.window.CallsOf("box");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            u"Unable to open file. Please select valid pst file\n\n" + FromUtf8(reason));
  EXPECT_EQ(boxes[0].detail, u"Brindlemoor              ");
  EXPECT_EQ(boxes[0].a, mb::kSystemModal | mb::kIconQuestion);
  EXPECT_EQ(f.window.StatusTexts().back(), u"unable to open file");
  EXPECT_EQ(f.window.Tree().size(), 1u);  // only the PST path item
  EXPECT_TRUE(f.state.folder_nodes.empty());
  EXPECT_TRUE(f.window.CallsOf("menu").empty());  // Convert stays greyed
}

Status ScanForReason(ScanFixture& f, const std::filesystem::path& pst) {
  EXPECT_TRUE(PrepareScan(f.state, FromPath(pst), FromPath(f.temp.path() / "QelTemp")).ok());
  f.state.root_tree_item = f.window.InsertTreeItem(kNoTreeItem, f.state.paths.pst_path, u"");
  return ScanStore(f.state);
}

TEST(ScanTest, EachUnusableInputGetsItsOwnReason) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"missing", "no such file"},
      {"directory", "it is a directory, not a file"},
      {"empty", "the file is empty"},
      {"text", "it is not a PST file (it does not start with the PST signature)"},
      {"header", "the file is cut short: its header is incomplete"},
  };
  for (const auto& [kind, reason] : cases) {
    SCOPED_TRACE(kind);
    ScanFixture f;
    const auto path = f.temp.path() / ("input-" + kind + ".pst");
    if (kind == "directory") std::filesystem::create_directory(path);
    if (kind == "empty") WriteBytes(path, "");
    if (kind == "text") WriteBytes(path, std::string(4096, 'x'));
    if (kind == "header") WriteBytes(path, "!BDN" + std::string(60, '\0'));
    const Status scanned = ScanForReason(f, path);
    ASSERT_FALSE(scanned.ok());
    EXPECT_EQ(scanned.error().message(), reason);
    ExpectOpenFailure(f, reason);
  }
}

TEST(ScanTest, AStoreCutShortIsAnErrorWithTheSizes) {
  ScanFixture f;
  pstgen::Store store(u"Cut");
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  for (int i = 0; i < 40; ++i) {
    inbox.AddMessage("IPM.Note").SetSubject(u"m").SetBody(std::u16string(2000, u'b'));
  }
  const auto whole = f.temp.path() / "whole.pst";
  pstgen::Write(store, whole);
  const std::string bytes = test::ReadFile(whole);
  for (const std::size_t size : {bytes.size() * 5 / 7, bytes.size() - 1, std::size_t{1024}}) {
    SCOPED_TRACE(size);
    ScanFixture cut;
    const auto path = cut.temp.path() / "cut.pst";
    WriteBytes(path, bytes.substr(0, size));
    const Status scanned = ScanForReason(cut, path);
    ASSERT_FALSE(scanned.ok());
    EXPECT_EQ(scanned.error().message(), "the file is cut short: it has " + std::to_string(size) +
                                             " bytes of the " + std::to_string(bytes.size()) +
                                             " bytes its header gives");
    EXPECT_TRUE(cut.state.folder_nodes.empty());
  }
}

TEST(ScanTest, TruncatedSampleIsNeverACompletedScan) {
  BM_SAMPLE_OR_SKIP(sample, "outlook.pst");
  const std::string bytes = test::ReadFile(sample);
  for (const std::size_t size : {std::size_t{512}, std::size_t{4096}, bytes.size() / 3,
                                 bytes.size() / 2, bytes.size() - 1000}) {
    SCOPED_TRACE(size);
    ScanFixture f;
    const auto path = f.temp.path() / "cut.pst";
    WriteBytes(path, bytes.substr(0, size));
    EXPECT_FALSE(f.Scan(path));
    EXPECT_EQ(f.window.StatusTexts().back(), u"unable to open file");
  }
}

// A store that opens: every stage in the log, the status line and one box, Convert enabled,
// and nothing written but the empty items directory.
void ExpectEveryStageInOrder(const std::filesystem::path& store) {
  ScanFixture f;
  ASSERT_TRUE(f.Scan(store));
  EXPECT_EQ(ReadLog(f.state),
            "start scanning process\r\n\r\nOpening file.\r\n\r\nScanning completed\r\n\r\n");
  EXPECT_EQ(f.window.StatusTexts(),
            (std::vector<std::u16string>{
                u"please wait... initialize your file", u"please wait... Opening file.",
                u"please wait... Extract folder tree structure.", u"Scanning completed"}));
  const auto menu = f.window.CallsOf("menu");
  ASSERT_EQ(menu.size(), 1u);
  EXPECT_EQ(menu[0].a, command::kConvert);
  EXPECT_EQ(menu[0].b, 1);
  const auto enable = f.window.CallsOf("enable");
  ASSERT_EQ(enable.size(), 1u);
  EXPECT_EQ(enable[0].a, control::kConvertButton);
  EXPECT_EQ(f.window.BoxTexts(), std::vector<std::u16string>{u"Scanning completed"});
  // The scan writes nothing but the empty items directory and its log.
  EXPECT_TRUE(std::filesystem::is_directory(f.TempFolder() / "xxxexportdata"));
  EXPECT_TRUE(std::filesystem::is_empty(f.TempFolder() / "xxxexportdata"));
}

// Inbox with mail and an attachment, Calendar, a CJK-named folder with a sub-folder, a folder
// beside the top of the store's tree.
std::filesystem::path WriteTreeStore(const std::filesystem::path& path) {
  pstgen::Store store;
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  inbox.AddMessage("IPM.Note").SetSubject(u"hello").SetBody(u"body");
  inbox.AddMessage("IPM.Note").SetSubject(u"with file").AddAttachment(u"a.txt", {'x'});
  store.top().AddFolder(u"Calendar", u"IPF.Appointment").AddMessage("IPM.Appointment");
  store.top()
      .AddFolder(u"\u6536\u4ef6\u7bb1", u"IPF.Note")
      .AddFolder(u"Inbox", u"IPF.Note")
      .AddMessage("IPM.Note")
      .SetSubject(u"deep");
  pstgen::Write(store, path);
  return path;
}

TEST(ScanTest, GoodStoreReportsEveryStageInOrder) {
  test::TempDir dir;
  ExpectEveryStageInOrder(WriteTreeStore(dir.path() / "tree.pst"));
}

TEST(ScanTest, SampleStoreReportsEveryStageInOrder) {
  BM_SAMPLE_OR_SKIP(sample, "outlook.pst");
  ExpectEveryStageInOrder(sample);
}

TEST(ScanTest, GeneratedTreeHasNamesDepthsPathsAndKinds) {
  test::TempDir dir;
  ScanFixture f;
  ASSERT_TRUE(f.Scan(WriteTreeStore(dir.path() / "tree.pst")));
  auto find = [&](std::u16string_view path) -> const FolderNode* {
    for (const auto& node : f.state.folder_nodes) {
      if (node.FolderPath() == path) return &node;
    }
    return nullptr;
  };
  const FolderNode* top = find(u"/Top of Personal Folders");
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->depth, 1);
  EXPECT_EQ(top->relative_folder_path, u"");
  EXPECT_EQ(top->parent_tree_item, f.state.root_tree_item);
  const FolderNode* inbox = find(u"/Top of Personal Folders/Inbox");
  ASSERT_NE(inbox, nullptr);
  EXPECT_EQ(inbox->depth, 2);
  EXPECT_EQ(inbox->relative_folder_path, u"/Top of Personal Folders");
  EXPECT_EQ(inbox->parent_tree_item, top->tree_item);
  ASSERT_NE(find(u"/Top of Personal Folders/Calendar"), nullptr);
  EXPECT_EQ(find(u"/Top of Personal Folders/Calendar")->folder_kind, u"calendar");
  const FolderNode* deep = find(u"/Top of Personal Folders/\u6536\u4ef6\u7bb1/Inbox");
  ASSERT_NE(deep, nullptr) << "the CJK-named folder or its sub-folder is missing";
  EXPECT_EQ(deep->depth, 3);
  ASSERT_NE(find(u"/Search Root"), nullptr);
  EXPECT_EQ(find(u"/Search Root")->depth, 1);

  // Pre-order: every node's parent tree item was inserted before it.
  std::set<TreeItem> seen{f.state.root_tree_item};
  for (const auto& node : f.state.folder_nodes) {
    EXPECT_TRUE(seen.contains(node.parent_tree_item)) << ToUtf8(node.name);
    seen.insert(node.tree_item);
    EXPECT_EQ(f.window.Tree().at(node.tree_item).text, node.name);
    EXPECT_EQ(f.window.Tree().at(node.tree_item).kind, node.folder_kind);
  }
}

TEST(ScanTest, OutlookSampleTreeHasNamesDepthsPathsAndKinds) {
  BM_SAMPLE_OR_SKIP(sample, "outlook.pst");
  ScanFixture f;
  ASSERT_TRUE(f.Scan(sample));
  const FolderNodeList& nodes = f.state.folder_nodes;
  auto find = [&](std::u16string_view path) -> const FolderNode* {
    for (const auto& node : nodes) {
      if (node.FolderPath() == path) return &node;
    }
    return nullptr;
  };
  const FolderNode* top = find(u"/Top of Personal Folders");
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->depth, 1);
  EXPECT_EQ(top->relative_folder_path, u"");
  EXPECT_EQ(top->parent_tree_item, f.state.root_tree_item);

  const FolderNode* inbox = find(u"/Top of Personal Folders/Inbox");
  ASSERT_NE(inbox, nullptr);
  EXPECT_EQ(inbox->depth, 2);
  EXPECT_EQ(inbox->relative_folder_path, u"/Top of Personal Folders");
  EXPECT_EQ(find(u"/Top of Personal Folders/Calendar")->folder_kind, u"calendar");
  EXPECT_EQ(find(u"/Top of Personal Folders/Reminders")->folder_kind, u"Outlook.Reminder");
  EXPECT_EQ(inbox->parent_tree_item, top->tree_item);

  const FolderNode* cjk = nullptr;
  for (const auto& node : nodes) {
    if (node.name == u"\u6536\u4ef6\u7bb1") cjk = &node;
  }
  ASSERT_NE(cjk, nullptr) << "the CJK-named folder is missing";

  // Root-level folders beside "Top of Personal Folders".
  ASSERT_NE(find(u"/Search Root"), nullptr);
  EXPECT_EQ(find(u"/Search Root")->depth, 1);

  const FolderNode* recovered_inbox = find(u"/Top of Personal Folders/Recovered_Group2/Inbox");
  ASSERT_NE(recovered_inbox, nullptr);
  EXPECT_EQ(recovered_inbox->depth, 3);
  EXPECT_EQ(recovered_inbox->relative_folder_path, u"/Top of Personal Folders/Recovered_Group2");

  // Pre-order: every node's parent tree item was inserted before it.
  std::set<TreeItem> seen{f.state.root_tree_item};
  for (const auto& node : nodes) {
    EXPECT_TRUE(seen.contains(node.parent_tree_item)) << ToUtf8(node.name);
    seen.insert(node.tree_item);
    EXPECT_EQ(f.window.Tree().at(node.tree_item).text, node.name);
    EXPECT_EQ(f.window.Tree().at(node.tree_item).kind, node.folder_kind);
  }
}

// A second scan leaves only the second store's nodes, a failed one none, and a third works.
void ExpectSecondScanLeavesOnlyTheSecondStore(const std::filesystem::path& first,
                                              const std::filesystem::path& second) {
  ScanFixture f;
  ASSERT_TRUE(f.Scan(first));
  ScanFixture reference;
  ASSERT_TRUE(reference.Scan(second));

  ASSERT_TRUE(f.Scan(second));
  ASSERT_EQ(f.state.folder_nodes.size(), reference.state.folder_nodes.size());
  for (std::size_t i = 0; i < f.state.folder_nodes.size(); ++i) {
    EXPECT_EQ(f.state.folder_nodes[i].FolderPath(), reference.state.folder_nodes[i].FolderPath());
  }

  // After a failed scan the old nodes are gone too, and a new scan succeeds.
  const auto bad = f.temp.path() / "bad.pst";
  WriteBytes(bad, "not a store");
  EXPECT_FALSE(f.Scan(bad));
  EXPECT_TRUE(f.state.folder_nodes.empty());
  EXPECT_TRUE(f.Scan(first));
  EXPECT_FALSE(f.state.folder_nodes.empty());
}

TEST(ScanTest, SecondScanLeavesOnlyTheSecondStore) {
  test::TempDir dir;
  pstgen::Store other(u"Other");
  other.top().AddFolder(u"Elsewhere", u"IPF.Note").AddFolder(u"Deeper", u"IPF.Note");
  pstgen::Write(other, dir.path() / "other.pst");
  ExpectSecondScanLeavesOnlyTheSecondStore(WriteTreeStore(dir.path() / "tree.pst"),
                                           dir.path() / "other.pst");
}

TEST(ScanTest, SecondSampleScanLeavesOnlyTheSecondStore) {
  BM_SAMPLE_OR_SKIP(first, "outlook.pst");
  BM_SAMPLE_OR_SKIP(second, "dist-list.pst");
  ExpectSecondScanLeavesOnlyTheSecondStore(first, second);
}

// A store under a name outside ASCII opens.
void ExpectOpensUnderANonAsciiName(const std::filesystem::path& store) {
  ScanFixture f;
  const auto path = f.temp.path() / "\xe6\x97\xa5\xe6\x9c\xac caf\xc3\xa9.pst";
  std::filesystem::copy_file(store, path);
  EXPECT_TRUE(f.Scan(path));
  EXPECT_FALSE(f.state.folder_nodes.empty());
}

TEST(ScanTest, NonAsciiPstPathOpens) {
  test::TempDir dir;
  ExpectOpensUnderANonAsciiName(WriteTreeStore(dir.path() / "tree.pst"));
}

TEST(ScanTest, NonAsciiSamplePstPathOpens) {
  BM_SAMPLE_OR_SKIP(sample, "attachAndInline.pst");
  ExpectOpensUnderANonAsciiName(sample);
}

}  // namespace
}  // namespace bm

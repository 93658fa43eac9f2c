// The scan and the conversion's mirror tree on stores written for the purpose.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/paths.h"
#include "engine/convert_command.h"
#include "scan_fixture.h"
#include "tools/pstgen/pstgen.h"

namespace bm {
namespace {

namespace fs = std::filesystem;

const FolderNode* FindByPath(const AppState& state, std::u16string_view path) {
  for (const auto& node : state.folder_nodes) {
    if (node.FolderPath() == path) return &node;
  }
  return nullptr;
}

TEST(GeneratedStoreTest, HostileFolderNamesAreSanitisedInTreeAndPaths) {
  test::ScanFixture f;
  pstgen::Store store(u"Hostile");
  pstgen::Folder& parent = store.top().AddFolder(u"a/b:c", u"IPF.Note");
  parent.AddFolder(u"x\\y*?<>|z", u"IPF.StickyNote");
  store.top().AddFolder(u"\u6536\u4ef6\u7bb1 tab\there");
  store.top().AddFolder(u"IPF.Custom", u"IPF.Custom.Thing");
  const fs::path pst = f.temp.path() / "hostile.pst";
  pstgen::Write(store, pst);
  ASSERT_TRUE(f.Scan(pst));

  const FolderNode* abc = FindByPath(f.state, u"/Top of Personal Folders/a_b_c");
  ASSERT_NE(abc, nullptr);
  EXPECT_EQ(abc->folder_kind, u"email");
  EXPECT_EQ(f.window.Tree().at(abc->tree_item).text, u"a_b_c");
  const FolderNode* child = FindByPath(f.state, u"/Top of Personal Folders/a_b_c/x_y_____z");
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->depth, 3);
  EXPECT_EQ(child->folder_kind, u"note");
  EXPECT_EQ(child->parent_tree_item, abc->tree_item);
  const FolderNode* cjk =
      FindByPath(f.state, u"/Top of Personal Folders/\u6536\u4ef6\u7bb1 tab_here");
  ASSERT_NE(cjk, nullptr);
  EXPECT_EQ(cjk->folder_kind, u"folder");
  EXPECT_EQ(FindByPath(f.state, u"/Top of Personal Folders/IPF.Custom")->folder_kind,
            u"IPF.Custom.Thing");
}

// A chain of folders L2 .. L30 under the top folder, one message in each of the last four.
fs::path WriteDeepStore(const fs::path& directory) {
  pstgen::Store store(u"Deep");
  pstgen::Folder* folder = &store.top();  // depth 1
  for (int depth = 2; depth <= 30; ++depth) {
    const std::u16string name = u"L" + FromUtf8(std::to_string(depth));
    folder = &folder->AddFolder(name, u"IPF.Note");
    if (depth > 26) folder->AddMessage("IPM.Note").SetSubject(u"At " + name);
  }
  store.top().AddFolder(u"After", u"IPF.Note");
  const fs::path pst = directory / "deep.pst";
  pstgen::Write(store, pst);
  return pst;
}

const FolderNode* FindByName(const AppState& state, std::u16string_view name) {
  for (const auto& node : state.folder_nodes) {
    if (node.name == name) return &node;
  }
  return nullptr;
}

TEST(GeneratedStoreTest, FoldersBelowTheShownDepthGetNodesButNoTreeItems) {
  test::ScanFixture f;
  ASSERT_TRUE(f.Scan(WriteDeepStore(f.temp.path())));

  const FolderNode* l27 = FindByName(f.state, u"L27");
  ASSERT_NE(l27, nullptr);
  EXPECT_EQ(l27->depth, 27);
  EXPECT_NE(l27->tree_item, kNoTreeItem);
  for (const std::u16string_view name : {u"L28", u"L29", u"L30"}) {
    SCOPED_TRACE(ToUtf8(name));
    const FolderNode* deep = FindByName(f.state, name);
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(deep->tree_item, kNoTreeItem);
    // They hang from their deepest shown ancestor, whose tick converts them.
    EXPECT_EQ(deep->parent_tree_item, l27->tree_item);
    EXPECT_EQ(deep->TickItem(), l27->tree_item);
  }
  EXPECT_EQ(FindByName(f.state, u"L30")->depth, 30);
  EXPECT_EQ(FindByName(f.state, u"L30")->FolderPath().size(),
            FindByName(f.state, u"L29")->FolderPath().size() + 4);
  // The tree itself stops at 27 levels; the walk went on past the chain.
  EXPECT_EQ(f.window.Tree().size(), f.state.folder_nodes.size() + 1 - 3);
  EXPECT_NE(FindByPath(f.state, u"/Top of Personal Folders/After"), nullptr);
}

TEST(GeneratedStoreTest, TickingTheDeepestShownFolderConvertsTheFoldersBelowIt) {
  test::ScanFixture f;
  ASSERT_TRUE(f.Scan(WriteDeepStore(f.temp.path())));
  f.window.SetChecked(FindByName(f.state, u"L27")->tree_item, true);

  test::TempDir out;
  f.window.QueueBrowseAnswer(FromPath(out.path()));
  std::u16string destination;
  ASSERT_TRUE(ConvertCommand(f.state, destination));
  RunConversionWorker(f.state, destination);

  fs::path directory = ToPath(f.state.report.DestinationRoot()) / "Top-of-Personal-Folders";
  for (int depth = 2; depth <= 30; ++depth) {
    directory /= "L" + std::to_string(depth);
    ASSERT_TRUE(fs::is_directory(directory)) << directory;
    const fs::path message = directory / ("At L" + std::to_string(depth) + "--1.msg");
    // L26 is not ticked; L27 is, and L28 to L30 go with it.
    EXPECT_EQ(fs::exists(message), depth >= 27) << message;
  }
  EXPECT_TRUE(f.state.report.Failures().empty());
}

TEST(GeneratedStoreTest, SameNamedSiblingsKeepSeparateMirrorDirectories) {
  test::ScanFixture f;
  pstgen::Store store(u"Twins");
  for (const char16_t* body : {u"first", u"second"}) {
    pstgen::Folder& twin = store.top().AddFolder(u"Twin", u"IPF.Note");
    twin.AddMessage("IPM.Note").SetSubject(u"Same subject").SetBody(body);
  }
  store.top().AddFolder(u"..", u"IPF.Note").AddMessage("IPM.Note").SetSubject(u"dots");
  const fs::path pst = f.temp.path() / "twins.pst";
  pstgen::Write(store, pst);
  ASSERT_TRUE(f.Scan(pst));

  // Both twins have the same folder path in the tree, as the store names them.
  int twins = 0;
  for (const auto& node : f.state.folder_nodes) {
    twins += node.FolderPath() == u"/Top of Personal Folders/Twin";
    f.window.SetChecked(node.tree_item, true);
  }
  EXPECT_EQ(twins, 2);

  test::TempDir out;
  f.window.QueueBrowseAnswer(FromPath(out.path()));
  std::u16string destination;
  ASSERT_TRUE(ConvertCommand(f.state, destination));
  RunConversionWorker(f.state, destination);
  const fs::path top = ToPath(f.state.report.DestinationRoot()) / "Top-of-Personal-Folders";
  EXPECT_TRUE(fs::exists(top / "Twin" / "Same subject--1.msg"));
  EXPECT_TRUE(fs::exists(top / "Twin-2" / "Same subject--1.msg"));
  // A folder called ".." gets a directory of its own inside the tree, never its parent.
  EXPECT_TRUE(fs::exists(top / "___" / "dots--1.msg"));
  for (const auto& entry : fs::directory_iterator(out.path())) {
    EXPECT_EQ(entry.path().filename().string().rfind("convertPSTFile", 0), 0u);
  }
}

}  // namespace
}  // namespace bm

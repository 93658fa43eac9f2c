// The scan and the conversion's mirror tree on stores written for the purpose.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/paths.h"
#include "convert/convert_command.h"
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

TEST(GeneratedStoreTest, FoldersBelowDepth27StayOutButTheirDescendantsAreWalked) {
  test::ScanFixture f;
  pstgen::Store store(u"Deep");
  pstgen::Folder* folder = &store.top();  // depth 1
  for (int depth = 2; depth <= 30; ++depth) {
    folder = &folder->AddFolder(u"L" + FromUtf8(std::to_string(depth)), u"IPF.Note");
  }
  store.top().AddFolder(u"After", u"IPF.Note");
  const fs::path pst = f.temp.path() / "deep.pst";
  pstgen::Write(store, pst);
  ASSERT_TRUE(f.Scan(pst));

  int deepest = 0;
  for (const auto& node : f.state.folder_nodes) deepest = std::max(deepest, node.depth);
  EXPECT_EQ(deepest, 27);
  const FolderNode* l27 = nullptr;
  for (const auto& node : f.state.folder_nodes) {
    if (node.name == u"L27") l27 = &node;
    EXPECT_NE(node.name, u"L28");
  }
  ASSERT_NE(l27, nullptr);
  EXPECT_EQ(l27->depth, 27);
  // The walk went on past the cut: the sibling after the deep chain is still there.
  EXPECT_NE(FindByPath(f.state, u"/Top of Personal Folders/After"), nullptr);
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

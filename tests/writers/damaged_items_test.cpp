// Conversions of damaged stores: every item keeps the number of its place in its folder, a
// message the node tree loses is found through its folder's contents table, and an item the
// store gives only in part is written with what is readable and named with the cause.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "pst/format.h"
#include "support/test_support.h"
#include "tools/pstgen/checker.h"
#include "tools/pstgen/layout_map.h"
#include "writer_fixture.h"

namespace bm {
namespace {

namespace fs = std::filesystem;
using test::FileNames;
using test::WriterFixture;

// A folder "Notes" with the sticky notes "one", "two" and "three".
void WriteThreeNotes(const fs::path& path) {
  pstgen::Store store;
  pstgen::Folder& notes = store.top().AddFolder(u"Notes", u"IPF.StickyNote");
  for (const char16_t* subject : {u"one", u"two", u"three"}) {
    notes.AddMessage("IPM.StickyNote").SetSubject(subject).SetBody(subject);
  }
  pstgen::Write(store, path);
}

// Rewrites the node B-tree entry of the `index`-th message (in node-id order) with `edit`
// (given the entry's bytes and the id size), and the page's CRC after it, so that only the
// reader's own checks can tell.
void EditMessageEntry(const fs::path& path, std::size_t index,
                      const std::function<void(std::uint8_t*, std::size_t)>& edit) {
  const pstgen::LayoutMap map = pstgen::MapPst(path);
  ASSERT_NE(map.layout, nullptr);
  std::vector<pstgen::LayoutMap::Node> messages;
  for (const auto& node : map.nodes) {
    if ((node.nid & 0x1F) == pst::format::kNidTypeNormalMessage) messages.push_back(node);
  }
  std::sort(messages.begin(), messages.end(),
            [](const auto& a, const auto& b) { return a.nid < b.nid; });
  ASSERT_LT(index, messages.size());
  std::string bytes = test::ReadFile(path);
  auto* data = reinterpret_cast<std::uint8_t*>(bytes.data());
  const std::uint64_t entry = messages[index].entry;
  edit(data + entry, map.layout->id_size);
  const std::uint64_t page = entry / 512 * 512;
  const std::uint32_t crc = pst::format::Crc(std::span(data + page, map.layout->page_data_size));
  std::memcpy(data + page + map.layout->page_data_size + map.layout->page_trailer_crc, &crc, 4);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The root folder's node B-tree entry names `parent` as its parent (CRC made right again).
void MakeRootAChildOf(const fs::path& path, const std::u16string& folder_name) {
  const pstgen::LayoutMap map = pstgen::MapPst(path);
  ASSERT_NE(map.layout, nullptr);
  auto store = pst::Store::Open(path);
  ASSERT_TRUE(store) << store.error().message();
  pst::Nid child = 0;
  for (const pst::Nid top : store->SubFolders(store->root_folder())) {
    for (const pst::Nid folder : store->SubFolders(top)) {
      auto opened = store->OpenFolder(folder);
      if (opened && opened->properties().String(0x3001).value_or(std::nullopt) == folder_name) {
        child = folder;
      }
    }
  }
  ASSERT_NE(child, 0u);
  std::string bytes = test::ReadFile(path);
  auto* data = reinterpret_cast<std::uint8_t*>(bytes.data());
  for (const auto& node : map.nodes) {
    if (node.nid != store->root_folder()) continue;
    std::memcpy(data + node.entry + 3 * map.layout->id_size, &child, 4);
    const std::uint64_t page = node.entry / 512 * 512;
    const std::uint32_t crc = pst::format::Crc(std::span(data + page, map.layout->page_data_size));
    std::memcpy(data + page + map.layout->page_data_size + map.layout->page_trailer_crc, &crc, 4);
  }
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class DamagedItems : public ::testing::Test {
 protected:
  // Converts the folder "Notes" of the store at `pst` and returns where its files went.
  fs::path ConvertNotes(const fs::path& pst) {
    if (!fixture.Scan(pst)) return {};
    const FolderNode* notes = fixture.Folder(u"/Notes");
    if (notes == nullptr) return {};
    return fixture.Convert(*notes);
  }

  fs::path Store() const { return fixture.temp.path() / "damaged.pst"; }

  WriterFixture fixture;
};

// A message that cannot be opened keeps its number, named by it in the report; the items
// after it keep theirs, so each file stays the one the undamaged store gives. A listing still
// numbers only the rows it shows.
TEST_F(DamagedItems, AFailedItemKeepsItsNumberAndTheNextKeepTheirs) {
  WriteThreeNotes(Store());
  EditMessageEntry(Store(), 1, [](std::uint8_t* entry, std::size_t id_size) {
    std::fill_n(entry + id_size, id_size, 0);  // bidData: the message has no data
  });
  const fs::path target = ConvertNotes(Store());
  ASSERT_FALSE(target.empty());
  EXPECT_EQ(FileNames(target), (std::vector<std::string>{"one--1.txt", "three--3.txt"}));
  const auto failures = fixture.state.report.Failures();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].item, FromPath(target) + u" item 2");
  EXPECT_EQ(failures[0].folder, FromPath(target));
  EXPECT_EQ(failures[0].number, 2);

  fixture.Preview(*fixture.Folder(u"/Notes"));
  ASSERT_EQ(fixture.window.Rows().size(), 2u);
  EXPECT_EQ(fixture.window.Rows()[1][0], u"2");
  EXPECT_EQ(fixture.window.Rows()[1][3], u"three");
}

// A message whose node names itself as parent is lost to the node tree, but its folder's
// contents table still names it: it is converted in its place, with nothing to report.
TEST_F(DamagedItems, AMessageTheNodeTreeLosesIsFoundThroughTheContentsTable) {
  WriteThreeNotes(Store());
  EditMessageEntry(Store(), 1, [](std::uint8_t* entry, std::size_t id_size) {
    std::memcpy(entry + 3 * id_size, entry, 4);  // nidParent = its own nid
  });
  {
    auto store = pst::Store::Open(Store());
    ASSERT_TRUE(store) << store.error().message();
    // The folder "Notes": the one below the top of the tree with messages in its table.
    pst::Nid notes = 0;
    for (const pst::Nid top : store->SubFolders(store->root_folder())) {
      for (const pst::Nid folder : store->SubFolders(top)) {
        if (!store->MessagesWithContentsTable(folder).messages.empty()) notes = folder;
      }
    }
    ASSERT_NE(notes, 0u);
    EXPECT_EQ(store->Messages(notes).size(), 2u);
    const pst::Store::FolderMessages found = store->MessagesWithContentsTable(notes);
    EXPECT_EQ(found.messages.size(), 3u);
    EXPECT_EQ(found.recovered.size(), 1u);
    EXPECT_TRUE(found.missing.empty());
    EXPECT_TRUE(std::is_sorted(found.messages.begin(), found.messages.end()));
  }
  const fs::path target = ConvertNotes(Store());
  ASSERT_FALSE(target.empty());
  EXPECT_EQ(FileNames(target),
            (std::vector<std::string>{"one--1.txt", "three--3.txt", "two--2.txt"}));
  EXPECT_TRUE(fixture.state.report.Failures().empty());
  EXPECT_EQ(fixture.state.report.WrittenByKind().at(u"note"), 3);
}

// A message the contents table names but the store does not hold (its node is gone) is
// named in the report by its place, and the items after it keep theirs.
TEST_F(DamagedItems, AMessageTheStoreDoesNotHoldIsNamedInItsPlace) {
  WriteThreeNotes(Store());
  EditMessageEntry(Store(), 1, [](std::uint8_t* entry, std::size_t) {
    entry[0] = static_cast<std::uint8_t>((entry[0] & ~0x1F) | pst::format::kNidTypeAttachment);
  });
  const fs::path target = ConvertNotes(Store());
  ASSERT_FALSE(target.empty());
  EXPECT_EQ(FileNames(target), (std::vector<std::string>{"one--1.txt", "three--3.txt"}));
  const auto failures = fixture.state.report.Failures();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].number, 2);
  EXPECT_NE(failures[0].reason.find(u"cannot be read from the store"), std::u16string::npos)
      << ToUtf8(failures[0].reason);
}

// A note and a contact whose bodies lie in blocks the reader refuses: each text file is
// written with everything else, and the item is named with the cause.
TEST_F(DamagedItems, TextItemsWhoseBodyIsLostAreWrittenWithTheRestAndNamed) {
  pstgen::Store built;
  const std::u16string note_body(3000, u'N');
  const std::u16string contact_body(3000, u'C');
  pstgen::Folder& notes = built.top().AddFolder(u"Notes", u"IPF.StickyNote");
  notes.AddMessage("IPM.StickyNote").SetSubject(u"note").SetBody(note_body);
  pstgen::Folder& contacts = built.top().AddFolder(u"Contacts", u"IPF.Contact");
  contacts.AddMessage("IPM.Contact").SetSubject(u"Ann Example").SetBody(contact_body);
  pstgen::Write(built, Store());
  std::string bytes = test::ReadFile(Store());
  for (const std::u16string* body : {&note_body, &contact_body}) {
    std::string utf16;
    for (const char16_t unit : *body) utf16 += {static_cast<char>(unit), '\0'};
    const std::size_t at = bytes.find(utf16);
    ASSERT_NE(at, std::string::npos);
    const std::size_t trailer = at + (utf16.size() + 16 + 63) / 64 * 64 - 16;
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(trailer + 8), 8, '\x5A');
  }
  std::ofstream(Store(), std::ios::binary | std::ios::trunc) << bytes;

  ASSERT_TRUE(fixture.Scan(Store()));
  for (const auto& [folder, body_unit] :
       {std::pair{u"/Notes", 'N'}, std::pair{u"/Contacts", 'C'}}) {
    const FolderNode* node = fixture.Folder(folder);
    ASSERT_NE(node, nullptr);
    fixture.state.report.Clear();
    const fs::path target = fixture.Convert(*node);
    const std::vector<std::string> files = FileNames(target);
    ASSERT_EQ(files.size(), 1u) << ToUtf8(folder);
    const std::string text = test::ReadFile(target / files[0]);
    EXPECT_FALSE(text.empty()) << ToUtf8(folder);
    EXPECT_EQ(text.find(std::string{body_unit, '\0', body_unit, '\0'}), std::string::npos);
    const auto failures = fixture.state.report.Failures();
    ASSERT_EQ(failures.size(), 1u) << ToUtf8(folder);
    EXPECT_EQ(failures[0].number, 1);
    EXPECT_NE(failures[0].reason.find(u"the plain-text body cannot be read"), std::u16string::npos)
        << ToUtf8(failures[0].reason);
    // Not whole, so not counted as written.
    EXPECT_TRUE(fixture.state.report.WrittenByKind().empty());
  }
}

// An attachment whose second block the reader refuses: its file beside the note keeps the
// first block, and the note is named with how much the store gave.
TEST_F(DamagedItems, AnAttachmentGivenInPartKeepsWhatWasReadableAndIsNamed) {
  constexpr std::size_t kBlockData = 8176;
  pstgen::Binary data(20000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i % 251);
  pstgen::Store built;
  built.top()
      .AddFolder(u"Notes", u"IPF.StickyNote")
      .AddMessage("IPM.StickyNote")
      .SetSubject(u"with file")
      .SetBody(u"see the file")
      .AddAttachment(u"data.bin", data);
  pstgen::Write(built, Store());
  std::string bytes = test::ReadFile(Store());
  const std::size_t second =
      bytes.find(std::string(data.begin() + kBlockData, data.begin() + 2 * kBlockData));
  ASSERT_NE(second, std::string::npos);
  std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(second + kBlockData + 8), 8, '\x5A');
  std::ofstream(Store(), std::ios::binary | std::ios::trunc) << bytes;

  const fs::path target = ConvertNotes(Store());
  ASSERT_FALSE(target.empty());
  EXPECT_EQ(FileNames(target),
            (std::vector<std::string>{"with file--1 data.bin", "with file--1.txt"}));
  EXPECT_EQ(test::ReadFile(target / "with file--1 data.bin"),
            std::string(data.begin(), data.begin() + kBlockData));
  const auto failures = fixture.state.report.Failures();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].number, 1);
  EXPECT_NE(failures[0].reason.find(u"8176 of its 20000 bytes"), std::u16string::npos)
      << ToUtf8(failures[0].reason);
}

// A root folder whose node names one of its sub-folders as parent still tops the tree: each
// folder is there once, and the conversion writes every item once.
TEST_F(DamagedItems, ARootFolderUnderItsOwnChildStillTopsTheTree) {
  WriteThreeNotes(Store());
  MakeRootAChildOf(Store(), u"Notes");
  ASSERT_TRUE(fixture.Scan(Store()));
  std::size_t notes_nodes = 0;
  for (const FolderNode& node : fixture.state.folder_nodes) notes_nodes += node.name == u"Notes";
  EXPECT_EQ(notes_nodes, 1u);
  EXPECT_LT(fixture.state.folder_nodes.size(), 10u);
  const fs::path target = fixture.Convert(*fixture.Folder(u"/Notes"));
  EXPECT_EQ(FileNames(target).size(), 3u);
  EXPECT_TRUE(fixture.state.report.Failures().empty());
}

}  // namespace
}  // namespace bm

// The conversion pipeline: the same output tree and report whatever the number of workers, and
// a stop that leaves no cut file and names every item it kept from being written.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "engine/conversion_pipeline.h"
#include "engine/convert_command.h"
#include "engine/folder_walk.h"
#include "pst/format.h"
#include "pst/store.h"
#include "scan_fixture.h"
#include "tools/pstgen/checker.h"
#include "tools/pstgen/layout_map.h"
#include "tools/pstgen/pstgen.h"

namespace bm {
namespace {

namespace fs = std::filesystem;

constexpr int kStopStoreItems = 300;
constexpr unsigned kStopJobs = 4;

// Several folders, every kind, attachments (one an attached message, in two contacts with the
// same subject), same-subject items, a text item's attachment that takes the name a later
// item's file would have, and an e-mail whose HTML body the reader refuses.
fs::path WriteMixedStore(const fs::path& directory) {
  pstgen::Store store(u"Mixed");
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  const std::string damaged_html = "<p>" + std::string(6000, 'Q') + "</p>";
  for (int i = 0; i < 12; ++i) {
    pstgen::Message& mail = inbox.AddMessage("IPM.Note");
    mail.SetSubject(i % 3 == 0 ? u"Same subject" : u"Mail " + FromUtf8(std::to_string(i)));
    mail.SetBody(u"body " + FromUtf8(std::to_string(i)));
    mail.AddRecipient(u"Ann", u"ann@example.com", pstgen::RecipientType::kTo);
    if (i % 4 == 1)
      mail.AddAttachment(u"notes.txt", pstgen::Bytes("attached " + std::to_string(i)));
    if (i == 5) mail.AddEmbeddedMessage(u"Forwarded").SetSubject(u"Forwarded").SetBody(u"inner");
  }
  inbox.AddMessage("IPM.Note").SetSubject(u"damaged").SetHtml(damaged_html);
  inbox.AddMessage("IPM.Schedule.Meeting.Request").SetSubject(u"Same subject");
  pstgen::Folder& nested = inbox.AddFolder(u"Nested", u"IPF.Note");
  nested.AddMessage("IPM.Note").SetSubject(u"Same subject").SetBody(u"nested");

  pstgen::Folder& contacts = store.top().AddFolder(u"Contacts", u"IPF.Contact");
  for (int i = 0; i < 6; ++i) {
    pstgen::Message& contact = contacts.AddMessage("IPM.Contact");
    contact.SetSubject(u"Twin").SetBody(u"contact " + FromUtf8(std::to_string(i)));
    contact.AddAttachment(u"card.vcf", pstgen::Bytes("BEGIN:VCARD " + std::to_string(i)));
    // Both twins' attached messages are composed under the same working name.
    contact.AddEmbeddedMessage(u"Same inner").SetSubject(u"Same inner").SetBody(u"inner body");
  }
  // Item 1's attachment files are "A--1 x--2.txt" and "A--1 y--4.msg", the names item 2's
  // and item 4's (an e-mail's) own files want.
  pstgen::Folder& notes = store.top().AddFolder(u"Notes", u"IPF.StickyNote");
  pstgen::Message& first_note = notes.AddMessage("IPM.StickyNote").SetSubject(u"A");
  first_note.AddAttachment(u"x--2.txt", pstgen::Bytes("attachment"));
  first_note.AddAttachment(u"y--4.msg", pstgen::Bytes("not a message"));
  notes.AddMessage("IPM.StickyNote").SetSubject(u"A--1 x").SetBody(u"note two");
  notes.AddMessage("IPM.StickyNote").SetSubject(u"A").SetBody(u"note three");
  notes.AddMessage("IPM.Note").SetSubject(u"A--1 y").SetBody(u"mail four");

  store.top()
      .AddFolder(u"Calendar", u"IPF.Appointment")
      .AddMessage("IPM.Appointment")
      .SetSubject(u"Meeting")
      .AddAttachment(u"agenda.txt", pstgen::Bytes("agenda"));
  store.top().AddFolder(u"Tasks", u"IPF.Task").AddMessage("IPM.Task").SetSubject(u"Do it");
  store.top().AddFolder(u"Empty", u"IPF.Note");

  const fs::path pst = directory / "mixed.pst";
  pstgen::Write(store, pst);
  // The damaged e-mail's HTML body block gets a trailer the reader refuses.
  std::string bytes = test::ReadFile(pst);
  const std::size_t at = bytes.find(damaged_html);
  EXPECT_NE(at, std::string::npos);
  const std::size_t block_id = at + (damaged_html.size() + 16 + 63) / 64 * 64 - 8;
  for (std::size_t i = 0; i < 8; ++i) bytes[block_id + i] = static_cast<char>(0x5A);
  std::ofstream(pst, std::ios::binary | std::ios::trunc) << bytes;
  return pst;
}

// `text` with every occurrence of `from` replaced, in UTF-8 and in UTF-16LE (the text files).
std::string WithoutRoot(std::string text, const std::string& root) {
  std::string wide;
  for (const char16_t c : FromUtf8(root)) {
    wide.push_back(static_cast<char>(c & 0xFF));
    wide.push_back(static_cast<char>(c >> 8));
  }
  for (const std::string& from : {root, wide}) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
      text.replace(at, from.size(), "<root>");
    }
  }
  return text;
}

struct Converted {
  std::map<std::string, std::string> files;  // relative path -> bytes, the root made "<root>"
  std::map<std::u16string, int> written;
  std::vector<std::string> failures;  // "item: reason", the root made "<root>"
};

Converted ConvertAll(const fs::path& pst, unsigned jobs) {
  test::ScanFixture f;
  EXPECT_TRUE(f.Scan(pst));
  for (const FolderNode& node : f.state.folder_nodes) f.window.SetChecked(node.tree_item, true);
  test::TempDir out;
  f.window.QueueBrowseAnswer(FromPath(out.path()));
  std::u16string destination;
  EXPECT_TRUE(ConvertCommand(f.state, destination));
  f.state.conversion_jobs = jobs;
  RunConversionWorker(f.state, destination);

  Converted result;
  const fs::path root = ToPath(f.state.report.DestinationRoot());
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).string();
    result.files[relative] = entry.is_directory()
                                 ? "(directory)"
                                 : WithoutRoot(test::ReadFile(entry.path()), root.string());
  }
  result.written = f.state.report.WrittenByKind();
  for (const auto& failure : f.state.report.Failures()) {
    result.failures.push_back(
        WithoutRoot(ToUtf8(failure.item + u": " + failure.reason), root.string()));
  }
  return result;
}

TEST(ConversionPipelineTest, OneWorkerAndEightWriteTheSameTreeAndReport) {
  test::TempDir data;
  const fs::path pst = WriteMixedStore(data.path());
  const Converted one = ConvertAll(pst, 1);
  const Converted eight = ConvertAll(pst, 8);

  // The store's shape reached the output before comparing it.
  const std::string inbox = "Top-of-Personal-Folders/Inbox/";
  ASSERT_TRUE(one.files.contains(inbox + "Same subject--1.msg"));
  ASSERT_TRUE(one.files.contains(inbox + "Same subject--4.msg"));
  ASSERT_TRUE(one.files.contains(inbox + "Nested/Same subject--1.msg"));
  // The damaged e-mail is 13th, written without its unreadable body and named in the report;
  // the meeting request after it keeps its place as 14th.
  EXPECT_TRUE(one.files.contains(inbox + "damaged--13.msg"));
  EXPECT_TRUE(one.files.contains(inbox + "Same subject--14.msg"));
  const std::string notes = "Top-of-Personal-Folders/Notes/";
  EXPECT_TRUE(one.files.contains(notes + "A--1 x--2.txt"));  // item 1's attachment came first
  EXPECT_TRUE(one.files.contains(notes + "A--1 x--2 (2).txt"));
  EXPECT_EQ(one.files.at(notes + "A--1 y--4.msg"), "not a message");
  EXPECT_TRUE(one.files.contains(notes + "A--1 y--4 (2).msg"));
  EXPECT_TRUE(one.files.contains("Top-of-Personal-Folders/Empty"));
  EXPECT_EQ(one.written.at(u"contact"), 6);
  ASSERT_EQ(one.failures.size(), 1u);
  EXPECT_TRUE(one.failures[0].starts_with("<root>/Top-of-Personal-Folders/Inbox/damaged: "))
      << one.failures[0];

  EXPECT_EQ(eight.written, one.written);
  EXPECT_EQ(eight.failures, one.failures);
  ASSERT_EQ(eight.files.size(), one.files.size());
  for (const auto& [path, bytes] : one.files) {
    SCOPED_TRACE(path);
    const auto other = eight.files.find(path);
    ASSERT_NE(other, eight.files.end());
    EXPECT_TRUE(other->second == bytes) << "the file differs";
  }
}

// A window that sets the stop flag, as the Stop button does, once `after` items are done.
class StoppingWindow : public test::RecordingWindow {
 public:
  std::atomic<int>* stop_flag = nullptr;
  int after = 0;

  void SetProgressPos(int position) override {
    RecordingWindow::SetProgressPos(position);
    // One position per item taken in, in item order.
    if (++done_ == after && stop_flag != nullptr) *stop_flag = 1;
  }

 private:
  int done_ = 0;
};

TEST(ConversionPipelineTest, StopEndsEveryWorkerLeavesNoCutFileAndNamesWhatWasNotWritten) {
  test::TempDir data;
  pstgen::Store store(u"Stop");
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  for (int i = 0; i < kStopStoreItems; ++i) {
    inbox.AddMessage("IPM.Note")
        .SetSubject(u"Mail " + FromUtf8(std::to_string(i)))
        .AddAttachment(u"big.bin", pstgen::Binary(20000, static_cast<std::uint8_t>(i)));
  }
  store.top().AddFolder(u"Later", u"IPF.Note").AddMessage("IPM.Note").SetSubject(u"later");
  const fs::path pst = data.path() / "stop.pst";
  pstgen::Write(store, pst);

  StoppingWindow window;
  AppState state(window);
  ASSERT_TRUE(PrepareScan(state, FromPath(pst), FromPath(data.path() / "QelTemp")).ok());
  state.root_tree_item = window.InsertTreeItem(kNoTreeItem, state.paths.pst_path, u"");
  ASSERT_TRUE(RunScanWorker(state));
  for (const FolderNode& node : state.folder_nodes) window.SetChecked(node.tree_item, true);
  test::TempDir out;
  window.QueueBrowseAnswer(FromPath(out.path()));
  std::u16string destination;
  ASSERT_TRUE(ConvertCommand(state, destination));
  state.conversion_jobs = kStopJobs;
  window.stop_flag = &state.stop_flag;
  window.after = 10;
  RunConversionWorker(state, destination);

  EXPECT_EQ(state.stop_flag.load(), 1);
  const fs::path root = ToPath(state.report.DestinationRoot());
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_directory()) continue;
    const std::string name = entry.path().filename().string();
    ASSERT_FALSE(name.starts_with(".bm")) << "a temporary file was left: " << name;
    ++files;
  }
  // Workers run ahead of the items taken in order by at most 16 each; those in flight when the
  // flag was set are finished, and no other starts.
  EXPECT_GE(files, 10);
  EXPECT_LE(files, 10 + static_cast<int>(16 * kStopJobs + kStopJobs));
  const int written = state.report.WrittenByKind().at(u"email");
  EXPECT_EQ(written, files);

  // Every item not written is named, as runs per folder, and they add up to the rest.
  int named = 0;
  for (const auto& failure : state.report.Failures()) {
    SCOPED_TRACE(ToUtf8(failure.item));
    EXPECT_EQ(failure.reason, u"the run was stopped before it was written");
    const std::string item = ToUtf8(failure.item);
    int first = 0;
    int last = 0;
    if (const std::size_t at = item.find(" items "); at != std::string::npos) {
      ASSERT_EQ(std::sscanf(item.c_str() + at, " items %d to %d", &first, &last), 2);
    } else {
      const std::size_t one = item.find(" item ");
      ASSERT_NE(one, std::string::npos);
      first = last = std::stoi(item.substr(one + 6));
    }
    named += last - first + 1;
  }
  EXPECT_EQ(state.report.Failures().size(), 2u);  // the rest of Inbox, and Later
  EXPECT_EQ(written + named, kStopStoreItems + 1);
}

TEST(ConversionPipelineTest, TurnsAreTakenInIndexOrderWhateverOrderItemsFinish) {
  PlacementTurns turns;
  turns.Wait(0);  // the first item never waits
  turns.Done(2);
  turns.Done(0);
  std::atomic<bool> third_placed{false};
  std::thread third([&] {
    turns.Wait(3);
    third_placed = true;
  });
  // Item 1 is still being written, so item 3 cannot have placed anything.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(third_placed.load());
  turns.Done(1);
  third.join();
  EXPECT_TRUE(third_placed.load());
}

// An item that said it writes one file named by its number waits only for the items before it
// that did not say so; the others wait for every item before them.
TEST(ConversionPipelineTest, NumberedNamesWaitOnlyForItemsThatNameFilesOtherwise) {
  PlacementTurns turns;
  const auto placed_after = [&turns](std::size_t index, bool numbered) {
    return std::async(std::launch::async, [&turns, index, numbered] {
      turns.Wait(index, numbered);
      return true;
    });
  };
  turns.DeclareNumberedNameOnly(1);
  turns.DeclareNumberedNameOnly(3);
  // Items 0 (undeclared), 1 and 3 (numbered) and 2 (undeclared) are all still being written.
  auto numbered_one = placed_after(1, true);
  auto numbered_three = placed_after(3, true);
  auto plain_four = placed_after(4, false);
  const auto blocked = [](std::future<bool>& placed) {
    return placed.wait_for(std::chrono::milliseconds(20)) == std::future_status::timeout;
  };
  EXPECT_TRUE(blocked(numbered_one)) << "item 0 may still take its name";
  turns.Done(0);
  EXPECT_TRUE(numbered_one.get());
  EXPECT_TRUE(blocked(numbered_three)) << "item 2 may still take its name";
  turns.Done(2);
  EXPECT_TRUE(numbered_three.get());  // item 1 is numbered: no need to wait for it
  EXPECT_TRUE(blocked(plain_four)) << "items 1 and 3 are not done";
  turns.Done(3);
  EXPECT_TRUE(blocked(plain_four));
  turns.Done(1);
  EXPECT_TRUE(plain_four.get());
}

// The folder named `name` one level below the top of the store.
pst::Nid FolderNamed(const fs::path& pst, std::u16string_view name) {
  auto store = pst::Store::Open(pst);
  EXPECT_TRUE(store) << store.error().message();
  if (!store) return 0;
  for (const pst::Nid top : store->SubFolders(store->root_folder())) {
    for (const pst::Nid folder : store->SubFolders(top)) {
      auto opened = store->OpenFolder(folder);
      if (opened && opened->properties().String(0x3001).value_or(std::nullopt) == name) {
        return folder;
      }
    }
  }
  return 0;
}

// Puts `value` at `field` (an id-sized field number: 1 the data block, 3 the parent) of the
// node B-tree entry of `nid`, and makes the page's CRC right again, so only the reader's own
// checks see the damage.
void RewriteNodeEntry(const fs::path& pst, pst::Nid nid, int field, std::uint64_t value) {
  const pstgen::LayoutMap map = pstgen::MapPst(pst);
  ASSERT_NE(map.layout, nullptr);
  std::string bytes = test::ReadFile(pst);
  auto* raw = reinterpret_cast<std::uint8_t*>(bytes.data());
  bool found = false;
  for (const auto& node : map.nodes) {
    if (node.nid != nid) continue;
    found = true;
    const std::size_t size = field == 3 ? 4 : map.layout->id_size;
    std::memcpy(raw + node.entry + field * map.layout->id_size, &value, size);
    const std::uint64_t page = node.entry / 512 * 512;
    const std::uint32_t crc = pst::format::Crc(std::span(raw + page, map.layout->page_data_size));
    std::memcpy(raw + page + map.layout->page_data_size + map.layout->page_trailer_crc, &crc, 4);
  }
  ASSERT_TRUE(found);
  std::ofstream(pst, std::ios::binary | std::ios::trunc) << bytes;
}

// A folder "Loop" with a note and a sub-folder "Below" with a note.
void WriteLoopStore(const fs::path& pst) {
  pstgen::Store store;
  pstgen::Folder& loop = store.top().AddFolder(u"Loop", u"IPF.StickyNote");
  loop.AddMessage("IPM.StickyNote").SetSubject(u"one").SetBody(u"one");
  loop.AddMessage("IPM.StickyNote").SetSubject(u"two").SetBody(u"two");
  loop.AddFolder(u"Below", u"IPF.StickyNote")
      .AddMessage("IPM.StickyNote")
      .SetSubject(u"below")
      .SetBody(u"below");
  pstgen::Write(store, pst);
}

// A folder whose node names itself as parent would take itself and everything below it out
// of the tree. It is converted, hung under the root folder, and the report says its place is
// not the stored one, so a run that lost its place does not pass for a clean one.
TEST(ConversionPipelineTest, AFolderThatIsItsOwnParentIsWrittenAndNamed) {
  test::TempDir data;
  const fs::path pst = data.path() / "loop.pst";
  WriteLoopStore(pst);
  const pst::Nid loop_nid = FolderNamed(pst, u"Loop");
  ASSERT_NE(loop_nid, 0u);
  RewriteNodeEntry(pst, loop_nid, 3, loop_nid);

  const Converted converted = ConvertAll(pst, 2);
  EXPECT_TRUE(converted.files.contains("Loop/one--1.txt"));
  EXPECT_TRUE(converted.files.contains("Loop/Below/below--1.txt"));
  ASSERT_EQ(converted.failures.size(), 1u);
  EXPECT_NE(converted.failures[0].find("Loop: its place in the store is damaged"),
            std::string::npos)
      << converted.failures[0];
}

// A folder whose own properties (its name among them) cannot be read still holds readable
// items and sub-folders: they are written under a stand-in name, and the report names the
// folder with the cause, so the run does not pass for a clean one.
TEST(ConversionPipelineTest, AFolderWhosePropertiesCannotBeReadIsWrittenUnderAStandInName) {
  test::TempDir data;
  const fs::path pst = data.path() / "unnamed.pst";
  WriteLoopStore(pst);
  const pst::Nid nid = FolderNamed(pst, u"Loop");
  ASSERT_NE(nid, 0u);
  RewriteNodeEntry(pst, nid, 1, 0x7FFFFFF0);  // a data block the store does not hold
  ASSERT_FALSE(pst::Store::Open(pst)->OpenFolder(nid));

  const std::string folder = "Top-of-Personal-Folders/" + ToUtf8(UnreadableFolderName(nid)) + "/";
  for (const unsigned jobs : {1u, 2u}) {
    const Converted converted = ConvertAll(pst, jobs);
    std::string listing;
    for (const auto& [path, bytes] : converted.files) listing += path + "\n";
    EXPECT_TRUE(converted.files.contains(folder + "one--1.txt")) << listing;
    EXPECT_TRUE(converted.files.contains(folder + "two--2.txt")) << listing;
    EXPECT_TRUE(converted.files.contains(folder + "Below/below--1.txt")) << listing;
    ASSERT_EQ(converted.failures.size(), 1u);
    EXPECT_TRUE(converted.failures[0].starts_with(
        "/Top of Personal Folders/" + ToUtf8(UnreadableFolderName(nid)) +
        ": its name cannot be read from the store (node "))
        << converted.failures[0];
  }
}

// A note whose data fails the store's checksum is still written as read, but the report names
// it, so the run does not pass a perhaps damaged item off as a clean one; its neighbours are
// not named.
TEST(ConversionPipelineTest, AnItemWhoseDataFailsItsChecksumIsWrittenAndNamed) {
  test::TempDir data;
  const fs::path pst = data.path() / "flipped.pst";
  {
    pstgen::Store store;
    pstgen::Folder& notes = store.top().AddFolder(u"Notes", u"IPF.StickyNote");
    notes.AddMessage("IPM.StickyNote").SetSubject(u"before").SetBody(u"before");
    notes.AddMessage("IPM.StickyNote").SetSubject(u"flipped").SetBody(u"FLIPPEDBODYMARKER");
    notes.AddMessage("IPM.StickyNote").SetSubject(u"after").SetBody(u"after");
    pstgen::Write(store, pst);
  }
  std::string bytes = test::ReadFile(pst);
  const std::u16string marker = u"FLIPPEDBODYMARKER";
  const std::size_t at =
      bytes.find(std::string(reinterpret_cast<const char*>(marker.data()), marker.size() * 2));
  ASSERT_NE(at, std::string::npos);
  bytes[at] ^= 0x04;  // "F" becomes "B"
  std::ofstream(pst, std::ios::binary | std::ios::trunc) << bytes;

  for (const unsigned jobs : {1u, 2u}) {
    const Converted converted = ConvertAll(pst, jobs);
    const std::string notes = "Top-of-Personal-Folders/Notes/";
    EXPECT_TRUE(converted.files.contains(notes + "before--1.txt"));
    EXPECT_TRUE(converted.files.contains(notes + "flipped--2.txt"));
    EXPECT_TRUE(converted.files.contains(notes + "after--3.txt"));
    ASSERT_EQ(converted.failures.size(), 1u);
    EXPECT_TRUE(converted.failures[0].starts_with(
        "<root>/Top-of-Personal-Folders/Notes item 2: part of its data fails the store's own "
        "checks (block "))
        << converted.failures[0];
    EXPECT_NE(converted.failures[0].find("wrong checksum"), std::string::npos);
  }
}

// Makes the data block of subnode `sub_nid` of node `nid` one the reader refuses (its
// trailer names another block). A Unicode store with a one-level subnode tree.
void DamageSubnodeData(const fs::path& pst, pst::Nid nid, std::uint32_t sub_nid) {
  const pstgen::LayoutMap map = pstgen::MapPst(pst);
  ASSERT_NE(map.layout, nullptr);
  ASSERT_EQ(map.layout->id_size, 8u);
  std::string bytes = test::ReadFile(pst);
  auto get64 = [&](std::uint64_t at) {
    std::uint64_t value = 0;
    std::memcpy(&value, bytes.data() + at, 8);
    return value;
  };
  auto block_at = [&](std::uint64_t bid) -> const pstgen::LayoutMap::Block* {
    for (const auto& block : map.blocks) {
      if ((block.bid & ~1ull) == (bid & ~1ull)) return &block;
    }
    return nullptr;
  };
  const auto node =
      std::find_if(map.nodes.begin(), map.nodes.end(), [&](const auto& n) { return n.nid == nid; });
  ASSERT_NE(node, map.nodes.end());
  const pstgen::LayoutMap::Block* subnodes = block_at(node->bid_sub);
  ASSERT_NE(subnodes, nullptr);
  ASSERT_EQ(bytes[subnodes->ib + 1], 0) << "an SLBLOCK";
  const std::uint16_t count =
      static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[subnodes->ib + 2]) |
                                 static_cast<std::uint8_t>(bytes[subnodes->ib + 3]) << 8);
  const pstgen::LayoutMap::Block* data = nullptr;
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::uint64_t entry = subnodes->ib + 8 + 24ull * i;
    if (static_cast<std::uint32_t>(get64(entry)) == sub_nid) data = block_at(get64(entry + 8));
  }
  ASSERT_NE(data, nullptr) << "no subnode " << sub_nid;
  const std::uint64_t trailer_bid = data->ib + (data->cb + 16 + 63) / 64 * 64 - 8;
  for (int i = 0; i < 8; ++i) bytes[trailer_bid + i] = static_cast<char>(0x5A);
  std::ofstream(pst, std::ios::binary | std::ios::trunc) << bytes;
}

// An attachment table the store cannot give costs the item's attachments, which is named,
// never taken for an item without attachments: in an e-mail's MSG copy and in a note's text
// file with its attachment files alike.
TEST(ConversionPipelineTest, AnAttachmentTableThatCannotBeReadIsNamed) {
  test::TempDir data;
  const fs::path pst = data.path() / "attachments.pst";
  {
    pstgen::Store store;
    pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
    pstgen::Message& mail = inbox.AddMessage("IPM.Note");
    mail.SetSubject(u"mail").SetBody(u"mail");
    mail.AddAttachment(u"a.txt", pstgen::Bytes("first"));
    mail.AddAttachment(u"b.txt", pstgen::Bytes("second"));
    inbox.AddMessage("IPM.StickyNote")
        .SetSubject(u"note")
        .SetBody(u"note")
        .AddAttachment(u"c.txt", pstgen::Bytes("third"));
    inbox.AddMessage("IPM.Note")
        .SetSubject(u"clean")
        .AddAttachment(u"d.txt", pstgen::Bytes("fourth"));
    pstgen::Write(store, pst);
  }
  std::vector<pst::Nid> messages;
  {
    auto store = pst::Store::Open(pst);
    ASSERT_TRUE(store) << store.error().message();
    for (const pst::Nid top : store->SubFolders(store->root_folder())) {
      for (const pst::Nid folder : store->SubFolders(top)) {
        const auto in_folder = store->Messages(folder);
        messages.assign(in_folder.begin(), in_folder.end());
      }
    }
  }
  ASSERT_EQ(messages.size(), 3u);
  DamageSubnodeData(pst, messages[0], pst::format::kNidAttachmentTable);
  DamageSubnodeData(pst, messages[1], pst::format::kNidAttachmentTable);

  const Converted converted = ConvertAll(pst, 2);
  const std::string inbox = "Top-of-Personal-Folders/Inbox/";
  EXPECT_TRUE(converted.files.contains(inbox + "mail--1.msg"));
  EXPECT_TRUE(converted.files.contains(inbox + "note--2.msg") ||
              converted.files.contains(inbox + "note--2.txt"));
  EXPECT_TRUE(converted.files.contains(inbox + "clean--3.msg"));
  ASSERT_EQ(converted.failures.size(), 2u);
  EXPECT_TRUE(converted.failures[0].starts_with("<root>/" + inbox + "mail: "))
      << converted.failures[0];
  EXPECT_NE(converted.failures[0].find("attachments"), std::string::npos) << converted.failures[0];
  EXPECT_NE(converted.failures[1].find("item 2"), std::string::npos) << converted.failures[1];
  EXPECT_NE(converted.failures[1].find("attachment table"), std::string::npos)
      << converted.failures[1];
}

// With the store's name-to-id map unreadable, a contact's named values (its e-mail address)
// cannot be found: the text file keeps the rest, and the report names the contact instead of
// passing it off as one without an address.
TEST(ConversionPipelineTest, NamedValuesLostWithTheNameMapAreNamed) {
  test::TempDir data;
  const fs::path pst = data.path() / "names.pst";
  {
    pstgen::Store store;
    pstgen::Folder& contacts = store.top().AddFolder(u"Contacts", u"IPF.Contact");
    contacts.AddMessage("IPM.Contact")
        .SetSubject(u"Ann")
        .SetNamed(pstgen::kPsetidAddress, 0x8083, u"ann@example.com");
    contacts.AddMessage("IPM.Contact").SetSubject(u"Bob");  // nothing named to lose
    pstgen::Write(store, pst);
  }
  RewriteNodeEntry(pst, pst::format::kNidNameToIdMap, 1, 0x7FFFFFF0);

  const Converted converted = ConvertAll(pst, 2);
  const std::string folder = "Top-of-Personal-Folders/Contacts/";
  EXPECT_TRUE(converted.files.contains(folder + "Ann--1.txt"));
  EXPECT_TRUE(converted.files.contains(folder + "Bob--2.txt"));
  ASSERT_EQ(converted.failures.size(), 1u);
  EXPECT_TRUE(converted.failures[0].starts_with("<root>/" + folder.substr(0, folder.size() - 1) +
                                                " item 1: "))
      << converted.failures[0];
  EXPECT_NE(converted.failures[0].find("no name in the store's name-to-id map"), std::string::npos)
      << converted.failures[0];
}

}  // namespace
}  // namespace bm

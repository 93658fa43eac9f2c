// Which message classes reach a writer in each mode, the progress of a large folder and the
// stop between messages.
#include <gtest/gtest.h>

#include <fstream>

#include "msg/messaging_session.h"
#include "writer_fixture.h"

namespace bm {
namespace {

using test::WriterFixture;

// Every class with its subject; the subject says what should become of it.
const std::vector<std::pair<std::string, std::u16string>> kClasses = {
    {"IPM.Note", u"listed email"},
    {"IPM.Note.SMIME", u"listed smime"},
    {"IPM.Document", u"listed document"},
    {"IPM.Conflict.Message", u"listed conflict"},
    {"IPM.Post.RSS", u"feed"},
    {"IPM.Contact", u"listed contact"},
    {"IPM.Appointment", u"listed appointment"},
    {"IPM.Task", u"listed task"},
    {"IPM.StickyNote", u"listed note"},
    {"IPM.DistList", u"skipped distlist"},
    {"IPM.Schedule.Meeting.Request", u"skipped meeting"},
    {"IPM.TaskRequest", u"skipped taskrequest"},
    {"IPM.Activity", u"skipped journal"},
    {"IPM.Post", u"skipped post"},
};

const FolderNode* ScanClasses(WriterFixture& fixture) {
  pstgen::Store store;
  pstgen::Folder& folder = store.top().AddFolder(u"Mixed", u"IPF.Note");
  for (const auto& [message_class, subject] : kClasses) {
    folder.AddMessage(message_class).SetSubject(subject);
  }
  if (!fixture.ScanStore(store)) return nullptr;
  return fixture.Folder(u"/Mixed");
}

TEST(Routing, PreviewListsEveryRoutedKindButFeeds) {
  WriterFixture fixture;
  const FolderNode* folder = ScanClasses(fixture);
  ASSERT_NE(folder, nullptr);
  fixture.Preview(*folder);
  std::vector<std::u16string> subjects;
  std::vector<std::u16string> kinds;
  for (const ListRow& row : fixture.window.Rows()) {
    subjects.push_back(row[3]);
    kinds.push_back(row[1]);
  }
  EXPECT_EQ(subjects,
            (std::vector<std::u16string>{u"listed email", u"listed smime", u"listed document",
                                         u"listed conflict", u"listed contact",
                                         u"listed appointment", u"listed task", u"listed note"}));
  EXPECT_EQ(kinds, (std::vector<std::u16string>{u"email", u"email", u"email", u"email", u"contact",
                                                u"appointment", u"task", u"note"}));
  for (std::size_t i = 0; i < fixture.window.Rows().size(); ++i) {
    EXPECT_EQ(fixture.window.Rows()[i][0], DecimalText(static_cast<long long>(i) + 1));
  }
}

TEST(Routing, ConversionWritesEveryRoutedKindIncludingFeeds) {
  WriterFixture fixture;
  const FolderNode* folder = ScanClasses(fixture);
  ASSERT_NE(folder, nullptr);
  const std::filesystem::path target = fixture.Convert(*folder);
  const std::u16string tail = FromPath(target) + u"/";
  EXPECT_EQ(
      fixture.window.StatusTexts(),
      (std::vector<std::u16string>{
          u"Mail [1]" + tail + u"listed email", u"Mail [2]" + tail + u"listed smime",
          u"Mail [3]" + tail + u"listed document", u"Mail [4]" + tail + u"listed conflict",
          u"Mail [5]" + tail + u"feed", u"Saving Contact [6]" + tail + u"listed contact",
          u"Saving Appointment [7]" + tail + u"listed appointment",
          u"Saving Task [8]" + tail + u"listed task", u"Saving Notes [9]" + tail + u"listed note",
          // Every other class is converted like an e-mail.
          u"Mail [10]" + tail + u"skipped distlist", u"Mail [11]" + tail + u"skipped meeting",
          u"Mail [12]" + tail + u"skipped taskrequest", u"Mail [13]" + tail + u"skipped journal",
          u"Mail [14]" + tail + u"skipped post"}));
  EXPECT_EQ(test::FileNames(target),
            (std::vector<std::string>{"listed appointment--7.txt", "listed contact--6.txt",
                                      "listed note--9.txt", "listed task--8.txt"}));
  EXPECT_TRUE(fixture.window.Rows().empty());
}

// Nothing is skipped: every class the text writers do not take becomes an MSG file named like
// an e-mail and is counted under its class.
TEST(Routing, EveryOtherClassBecomesAnMsgFileCountedUnderItsClass) {
  WriterFixture fixture;
  const FolderNode* folder = ScanClasses(fixture);
  ASSERT_NE(folder, nullptr);
  fixture.state.messaging_session_status =
      MessagingSession::Create(fixture.state.messaging_session);
  fixture.state.report.Clear();
  const std::filesystem::path target = fixture.Convert(*folder);
  const std::vector<std::string> names = test::FileNames(target);
  for (const char* name :
       {"skipped distlist--10.msg", "skipped meeting--11.msg", "skipped taskrequest--12.msg",
        "skipped journal--13.msg", "skipped post--14.msg", "feed--5.msg", "listed email--1.msg"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  }
  EXPECT_TRUE(fixture.state.report.SkippedByClass().empty());
  EXPECT_TRUE(fixture.state.report.Failures().empty());
  const std::map<std::u16string, int> written = fixture.state.report.WrittenByKind();
  EXPECT_EQ(written.at(u"email"), 5);
  for (const char16_t* message_class : {u"IPM.DistList", u"IPM.Schedule.Meeting.Request",
                                        u"IPM.TaskRequest", u"IPM.Activity", u"IPM.Post"}) {
    EXPECT_EQ(written.at(message_class), 1) << ToUtf8(message_class);
  }
}

// A window that asks to stop as soon as the first row is listed.
class StoppingWindow : public test::RecordingWindow {
 public:
  std::atomic<int>* stop_flag = nullptr;
  void InsertListRow(int position, const ListRow& row) override {
    RecordingWindow::InsertListRow(position, row);
    if (stop_flag != nullptr) *stop_flag = 1;
  }
};

// Scans a store whose folder "Big" holds `count` skipped items (only the loop itself runs).
const FolderNode* ScanBigFolder(WriterFixture& fixture, std::size_t count) {
  pstgen::Store store;
  store.top().AddFolder(u"Big", u"IPF.Note").AddMessages(count, [](std::size_t) {
    return pstgen::Message("IPM.DistList");
  });
  if (!fixture.ScanStore(store)) return nullptr;
  return fixture.Folder(u"/Big");
}

TEST(Routing, TheProgressShowsEachIndexAndDropsBackBetweenMessages) {
  WriterFixture fixture;
  const FolderNode* folder = ScanBigFolder(fixture, 300);
  ASSERT_NE(folder, nullptr);
  fixture.window.ClearCalls();
  fixture.Preview(*folder);
  const auto ranges = fixture.window.CallsOf("range");
  ASSERT_EQ(ranges.size(), 1u);
  EXPECT_EQ(ranges[0].b, 300);
  const auto positions = fixture.window.CallsOf("pos");
  ASSERT_EQ(positions.size(), 600u);
  for (int i = 0; i < 300; ++i) {
    EXPECT_EQ(positions[2 * i].a, i);
    EXPECT_EQ(positions[2 * i + 1].a, 0);
  }
}

TEST(Routing, ALargeFolderSetsTheProgressRangeModulo65536) {
  WriterFixture fixture;
  const FolderNode* folder = ScanBigFolder(fixture, 70000);
  ASSERT_NE(folder, nullptr);
  fixture.window.ClearCalls();
  fixture.state.conversion_mode = false;
  export_handle_export_folder_items(fixture.state, folder->folder_nid, u"/Big");
  const auto ranges = fixture.window.CallsOf("range");
  ASSERT_EQ(ranges.size(), 1u);
  EXPECT_EQ(ranges[0].a, 0);
  EXPECT_EQ(ranges[0].b, 70000 - 65536);
  const auto positions = fixture.window.CallsOf("pos");
  ASSERT_EQ(positions.size(), 2u * 70000u);
  EXPECT_EQ(positions[2 * 69999].a, 69999);
}

TEST(Routing, StopEndsTheLoadBeforeTheNextMessage) {
  test::TempDir temp;
  pstgen::Store store;
  pstgen::Folder& folder = store.top().AddFolder(u"Notes", u"IPF.StickyNote");
  for (int i = 0; i < 5; ++i) folder.AddMessage("IPM.StickyNote").SetSubject(u"n");
  pstgen::Write(store, temp.path() / "s.pst");
  StoppingWindow window;
  AppState state(window);
  EXPECT_TRUE(
      PrepareScan(state, FromPath(temp.path() / "s.pst"), FromPath(temp.path() / "QelTemp")).ok());
  state.root_tree_item = window.InsertTreeItem(kNoTreeItem, state.paths.pst_path, u"");
  ASSERT_TRUE(RunScanWorker(state));
  const FolderNode* notes = nullptr;
  for (const FolderNode& node : state.folder_nodes) {
    if (node.name == u"Notes") notes = &node;
  }
  ASSERT_NE(notes, nullptr);
  window.stop_flag = &state.stop_flag;
  ASSERT_TRUE(RunFolderLoad(state, notes->tree_item).ok());
  EXPECT_EQ(window.Rows().size(), 1u);
  EXPECT_EQ(state.running_item_number, 1);
}

}  // namespace
}  // namespace bm

namespace bm {
namespace {

// A message whose HTML body lies in a block of its own, with that block's trailer damaged so
// that the reader refuses the block.
void WriteStoreWithDamagedBody(const std::filesystem::path& path) {
  pstgen::Store store;
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  const std::string html = "<p>" + std::string(6000, 'Q') + "</p>";
  inbox.AddMessage().SetSubject(u"damaged").SetHtml(html);
  inbox.AddMessage("IPM.StickyNote").SetSubject(u"whole").SetBody(u"fine");
  pstgen::Write(store, path);
  std::string bytes = test::ReadFile(path);
  const std::size_t at = bytes.find(html);
  ASSERT_NE(at, std::string::npos);
  const std::size_t block_id = at + (html.size() + 16 + 63) / 64 * 64 - 8;
  for (std::size_t i = 0; i < 8; ++i) bytes[block_id + i] = static_cast<char>(0x5A);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

TEST(Routing, AMessageWhoseBodyCannotBeReadIsWrittenWithoutItNamedWithTheCauseAndTheNextGoesOn) {
  WriterFixture fixture;
  const std::filesystem::path pst = fixture.temp.path() / "damaged.pst";
  WriteStoreWithDamagedBody(pst);
  ASSERT_TRUE(fixture.Scan(pst));
  const FolderNode* inbox = fixture.Folder(u"/Inbox");
  ASSERT_NE(inbox, nullptr);

  // Listing: the damaged message is not shown as one without a body.
  fixture.Preview(*inbox);
  ASSERT_EQ(fixture.window.Rows().size(), 1u);
  EXPECT_EQ(fixture.window.Rows()[0][3], u"whole");
  EXPECT_EQ(fixture.window.Rows()[0][0], u"1");

  // Converting: the MSG copy holds everything else, and the report names the body's property
  // with the reader's cause; the item is not counted as written.
  fixture.state.messaging_session_status =
      MessagingSession::Create(fixture.state.messaging_session);
  const std::filesystem::path target = fixture.Convert(*inbox);
  EXPECT_TRUE(std::filesystem::is_regular_file(target / "damaged--1.msg"));
  const auto failures = fixture.state.report.Failures();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].item, FromPath(target) + u"/damaged");
  EXPECT_EQ(failures[0].number, 1);
  EXPECT_NE(failures[0].reason.find(u"property 0x1013: not copied in full"), std::u16string::npos)
      << ToUtf8(failures[0].reason);
  EXPECT_NE(failures[0].reason.find(u"block"), std::u16string::npos) << ToUtf8(failures[0].reason);
  EXPECT_EQ(fixture.state.report.WrittenByKind().count(u"email"), 0u);
  EXPECT_EQ(fixture.state.report.WrittenByKind().at(u"note"), 1);
}

}  // namespace
}  // namespace bm

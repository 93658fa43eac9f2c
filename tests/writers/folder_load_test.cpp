// The folder load on several threads: the same rows, row records and body files as a load on
// one, in folder order, and Stop still ends it at once.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/file_bytes.h"
#include "engine/folder_load.h"
#include "writer_fixture.h"

namespace bm {
namespace {

using test::WriterFixture;

// A folder of every kind, listed and not, with the body forms and attachments a row record
// carries; subjects give each item's position.
pstgen::Store MixedStore(int rounds) {
  pstgen::Store store;
  pstgen::Folder& folder = store.top().AddFolder(u"Mixed", u"IPF.Note");
  for (int round = 0; round < rounds; ++round) {
    const std::u16string n = FromUtf8(std::to_string(round));
    pstgen::Message& plain = folder.AddMessage("IPM.Note");
    plain.SetSubject(u"plain " + n).SetBody(u"Body of " + n);
    plain.Set(pstgen::tag::kSenderName, u"Ann " + n);
    plain.AddRecipient(u"Bob", u"bob@example.com", pstgen::RecipientType::kTo);
    plain.AddRecipient(u"Cy", u"cy@example.com", pstgen::RecipientType::kCc);
    plain.AddAttachment(u"report.pdf", pstgen::Bytes("%PDF-1.4 " + std::to_string(round)));
    plain.AddAttachment(std::nullopt, pstgen::Bytes("GIF89a"));
    folder.AddMessage("IPM.Note").SetSubject(u"html " + n).SetHtml("<p>Hi " + ToUtf8(n) + "</p>");
    folder.AddMessage("IPM.Note")
        .SetSubject(u"rtf " + n)
        .SetRtf("{\\rtf1\\ansi\\deff0 {\\fonttbl{\\f0 Arial;}} Text " + ToUtf8(n) + "\\par}");
    folder.AddMessage("IPM.DistList").SetSubject(u"list " + n);
    folder.AddMessage("IPM.Contact").SetSubject(u"contact " + n).SetBody(u"About " + n);
    folder.AddMessage("IPM.Post.Rss").SetSubject(u"feed " + n);
    folder.AddMessage("IPM.Appointment").SetSubject(u"meeting " + n).SetBody(u"Agenda");
    folder.AddMessage("IPM.Task").SetSubject(u"task " + n);
    folder.AddMessage("IPM.Schedule.Meeting.Request").SetSubject(u"request " + n);
    folder.AddMessage("IPM.StickyNote").SetSubject(u"note " + n).SetBody(u"Remember " + n);
  }
  return store;
}

// Everything one load left: the rows, each row's record, and the temp folder's files.
struct Listing {
  std::vector<ListRow> rows;
  std::vector<std::optional<EmailRowRecord>> emails;
  std::vector<std::optional<ContactRowRecord>> contacts;
  std::vector<std::optional<AppointmentRowRecord>> appointments;
  std::vector<std::optional<TaskRowRecord>> tasks;
  std::vector<std::optional<NoteRowRecord>> notes;
  std::size_t record_count = 0;
  std::map<std::string, std::optional<std::string>> files;
};

Listing Load(WriterFixture& fixture, const FolderNode& node, unsigned workers) {
  std::filesystem::remove_all(fixture.TempFolder());
  std::filesystem::create_directories(fixture.TempFolder());
  fixture.window.ClearCalls();
  EXPECT_TRUE(
      RunFolderLoad(fixture.state, node.tree_item, FolderLoadOptions{.workers = workers}).ok());
  Listing listing;
  listing.rows = fixture.window.Rows();
  const RowRecordLists& records = fixture.state.row_records;
  for (std::size_t i = 0; i < listing.rows.size(); ++i) {
    const auto number = static_cast<std::int32_t>(i + 1);
    listing.emails.push_back(records.FindEmail(number, listing.rows[i][2]));
    listing.contacts.push_back(records.FindContact(number));
    listing.appointments.push_back(records.FindAppointment(number));
    listing.tasks.push_back(records.FindTask(number));
    listing.notes.push_back(records.FindNote(number));
  }
  listing.record_count = records.Size();
  for (const std::string& name : test::FileNames(fixture.TempFolder())) {
    listing.files[name] = ReadFileBytes(fixture.TempFolder() / name);
  }
  return listing;
}

TEST(FolderLoad, ManyWorkersListExactlyWhatOneWorkerLists) {
  WriterFixture fixture;
  ASSERT_TRUE(fixture.ScanStore(MixedStore(12)));
  const FolderNode* mixed = fixture.Folder(u"/Mixed");
  ASSERT_NE(mixed, nullptr);

  const Listing one = Load(fixture, *mixed, 1);
  // Seven of every ten items are listed, numbered 1.. in folder order, each with one record.
  ASSERT_EQ(one.rows.size(), 12u * 7u);
  EXPECT_EQ(one.record_count, one.rows.size());
  EXPECT_EQ(fixture.state.running_item_number, 12 * 7);
  for (std::size_t i = 0; i < one.rows.size(); ++i) {
    EXPECT_EQ(one.rows[i][0], FromUtf8(std::to_string(i + 1)));
  }
  EXPECT_EQ(one.rows[0][3], u"plain 0");
  EXPECT_EQ(one.rows[3][3], u"contact 0");
  EXPECT_EQ(one.rows[4][1], u"appointment");
  EXPECT_EQ(one.rows[6][3], u"note 0");
  EXPECT_EQ(one.rows.back()[3], u"note 11");
  ASSERT_TRUE(one.emails[0].has_value());
  EXPECT_EQ(one.emails[0]->to_list, u"Bob [bob@example.com],");
  EXPECT_FALSE(one.emails[0]->attachment_list.empty());
  EXPECT_FALSE(one.files.empty());

  for (const unsigned workers : {2u, 3u, 8u}) {
    SCOPED_TRACE(workers);
    const Listing many = Load(fixture, *mixed, workers);
    EXPECT_EQ(many.rows, one.rows);
    EXPECT_EQ(many.emails, one.emails);
    EXPECT_EQ(many.contacts, one.contacts);
    EXPECT_EQ(many.appointments, one.appointments);
    EXPECT_EQ(many.tasks, one.tasks);
    EXPECT_EQ(many.notes, one.notes);
    EXPECT_EQ(many.record_count, one.record_count);
    EXPECT_EQ(many.files, one.files);
  }
}

// Presses Stop when the window shows row `at`.
class StopAtRow : public test::RecordingWindow {
 public:
  std::atomic<int>* stop_flag = nullptr;
  std::size_t at = 0;
  void InsertListRow(int position, const ListRow& row) override {
    RecordingWindow::InsertListRow(position, row);
    if (stop_flag != nullptr && static_cast<std::size_t>(position) == at) *stop_flag = 1;
  }
};

TEST(FolderLoad, StopWithManyWorkersShowsNoRowAfterIt) {
  test::TempDir temp;
  pstgen::Write(MixedStore(30), temp.path() / "mixed.pst");
  StopAtRow window;
  AppState state(window);
  ASSERT_TRUE(
      PrepareScan(state, FromPath(temp.path() / "mixed.pst"), FromPath(temp.path() / "QelTemp"))
          .ok());
  state.root_tree_item = window.InsertTreeItem(kNoTreeItem, state.paths.pst_path, u"");
  ASSERT_TRUE(RunScanWorker(state));
  const FolderNode* mixed = nullptr;
  for (const FolderNode& node : state.folder_nodes) {
    if (node.name == u"Mixed") mixed = &node;
  }
  ASSERT_NE(mixed, nullptr);
  window.stop_flag = &state.stop_flag;
  window.at = 10;
  ASSERT_TRUE(RunFolderLoad(state, mixed->tree_item, FolderLoadOptions{.workers = 4}).ok());
  EXPECT_EQ(window.Rows().size(), 10u);
  EXPECT_EQ(state.running_item_number, 10);
  EXPECT_EQ(state.row_records.Size(), 10u);
  // The tree is given back after a stopped load too.
  const auto enables = window.CallsOf("enable");
  ASSERT_FALSE(enables.empty());
  EXPECT_EQ(enables.back().a, control::kFolderTree);
  EXPECT_EQ(enables.back().b, 1);
}

}  // namespace
}  // namespace bm

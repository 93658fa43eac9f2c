// The contact, appointment, task and note writers in both modes: list rows and row records
// when a folder is selected, labelled UTF-16 files when it is converted.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "writer_fixture.h"

namespace bm {
namespace {

using test::ReadFile;
using test::Utf16FileBytes;
using test::WriterFixture;

constexpr std::u16string_view kCreated = u"Jan 15, 2024 10:00:00.000000000";
constexpr std::u16string_view kCreatedRewritten = u"01/15/2024 10:00:00.000000000";

pstgen::FileTime At(std::int64_t unix_seconds) {
  return pstgen::FileTime::FromUnixSeconds(unix_seconds);
}

// Writes a store whose folder "Items" holds what `fill` adds, and scans it.
template <typename Fill>
const FolderNode* ScanItems(WriterFixture& fixture, Fill fill) {
  pstgen::Store store;
  fill(store.top().AddFolder(u"Items", u"IPF.Note"));
  if (!fixture.ScanStore(store)) return nullptr;
  return fixture.Folder(u"/Items");
}

std::u16string StatusTail(const std::filesystem::path& target, std::u16string_view subject) {
  return FromPath(target) + u"/" + std::u16string(subject);
}

void AddSmithContact(pstgen::Folder& folder) {
  pstgen::Message& contact = folder.AddMessage("IPM.Contact");
  contact.SetSubject(u"John Smith").SetBody(u"caf\u00e9 note");
  contact.Set(0x3A06, u"John").Set(0x3A11, u"Smith").Set(0x3A27, u"Springfield");
  contact.Set(0x3A2E, u"555").Set(0x3A4D, std::int16_t{1}).Set(0x3A42, At(323395200));
  contact.SetNamed(pstgen::kPsetidAddress, 0x8083, u"john@localhost");  // one at sign, no point
  contact.SetNamed(pstgen::kPsetidAddress, 0x8093, u"j@x");             // not checked
}

TEST(ContactWriter, WritesTheLabelledFileInConversionMode) {
  WriterFixture fixture;
  const FolderNode* folder = ScanItems(fixture, AddSmithContact);
  ASSERT_NE(folder, nullptr);
  const std::filesystem::path target = fixture.Convert(*folder);
  const std::u16string expected = std::u16string(u"Creationtime:\t\t") +
                                  std::u16string(kCreatedRewritten) +
                                  u"\r\n"
                                  u"Subject:\t\tJohn Smith\r\n"
                                  u"GivenName:\t\tJohn\r\n"
                                  u"Surname:\t\tSmith\r\n"
                                  u"Locality:\t\tSpringfield\r\n"
                                  u"EmailAddress2:\t\tj@x\r\n"
                                  u"assistant_telephone_number:555\r\n"
                                  u"birthday:\t\t04/01/1980 00:00:00.000000000\r\n"
                                  u"business_city:\t\tSpringfield\r\n"
                                  u"\r\n"
                                  u"Message Note:\t\t\r\n"
                                  u"\r\n"
                                  u"caf\u00e9 note";
  EXPECT_EQ(ReadFile(target / "John Smith--1.txt"), Utf16FileBytes(expected));
  EXPECT_EQ(fixture.window.StatusTexts().back(),
            u"Saving Contact [1]" + StatusTail(target, u"John Smith"));
  EXPECT_TRUE(fixture.window.Rows().empty());
  EXPECT_EQ(fixture.state.row_records.Size(), 0u);
}

TEST(ContactWriter, ListsTheContactAndKeepsItsRecordInPreviewMode) {
  WriterFixture fixture;
  const FolderNode* folder = ScanItems(fixture, AddSmithContact);
  ASSERT_NE(folder, nullptr);
  fixture.Preview(*folder);
  const std::vector<ListRow> rows = fixture.window.Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], u"1");
  EXPECT_EQ(rows[0][1], u"contact");
  EXPECT_EQ(rows[0][2], u"");  // EmailAddress1 fails the address check
  EXPECT_EQ(rows[0][3], u"John Smith");
  EXPECT_EQ(rows[0][4], kCreated);
  EXPECT_EQ(rows[0][5], u"Read");
  EXPECT_FALSE(rows[0][6].empty());

  const std::optional<ContactRowRecord> record = fixture.state.row_records.FindContact(1);
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->subject, u"John Smith");
  EXPECT_EQ(record->fields[1], u"John");
  EXPECT_EQ(record->fields[16], u"Springfield");
  EXPECT_EQ(record->fields[66], u"Springfield");
  EXPECT_EQ(record->fields[20], u"");
  EXPECT_EQ(record->fields[21], u"j@x");
  EXPECT_EQ(record->fields[36], u"");                                 // a 16-bit gender has no text
  EXPECT_EQ(record->fields[45], u"Apr 01, 1980 00:00:00.000000000");  // unchanged here
  EXPECT_EQ(record->body.kind, BodyKind::kText);
  EXPECT_EQ(std::string(record->body.bytes.begin(), record->body.bytes.end()), "caf\xC3\xA9 note");
}

TEST(ContactWriter, AnHtmlBodyFollowsRawAndSameSubjectsGetDistinctFiles) {
  WriterFixture fixture;
  const FolderNode* folder = ScanItems(fixture, [](pstgen::Folder& f) {
    f.AddMessage("IPM.Contact").SetSubject(u"Twin").SetHtml("<b>caf\xC3\xA9</b>").SetBody(u"x");
    f.AddMessage("IPM.Contact").SetSubject(u"Twin");
  });
  ASSERT_NE(folder, nullptr);
  const std::filesystem::path target = fixture.temp.path() / "target";
  std::filesystem::create_directories(target);
  std::ofstream(target / "Twin--2.txt") << "converted earlier";
  fixture.Convert(*folder, target);
  const std::u16string head = u"Creationtime:\t\t" + std::u16string(kCreatedRewritten) +
                              u"\r\nSubject:\t\tTwin\r\n\r\nMessage Note:\t\t\r\n\r\n";
  EXPECT_EQ(ReadFile(target / "Twin--1.txt"), Utf16FileBytes(head + u"<b>caf\u00c3\u00a9</b>"));
  EXPECT_EQ(ReadFile(target / "Twin--2.txt"), "converted earlier");
  EXPECT_EQ(ReadFile(target / "Twin--2 (2).txt"), Utf16FileBytes(head));
}

void AddStandup(pstgen::Folder& folder) {
  pstgen::Message& meeting = folder.AddMessage("IPM.Appointment");
  meeting.SetSubject(u"Standup").SetBody(u"agenda");
  meeting.SetNamed(pstgen::kPsetidAppointment, 0x820D, At(1357394400));
  meeting.SetNamed(pstgen::kPsetidAppointment, 0x820E, At(1357396200));
  meeting.SetNamed(pstgen::kPsetidAppointment, 0x8213, std::int32_t{60});
  meeting.SetNamed(pstgen::kPsetidAppointment, 0x8208, u"Room 1");
  meeting.SetNamed(pstgen::kPsetidAppointment, 0x8205, std::int32_t{2});
  meeting.AddAttachment(u"a.txt", pstgen::Bytes("A"));
  meeting.AddAttachment(u"b.txt", pstgen::Bytes("B"));
  pstgen::Message& bare = folder.AddMessage("IPM.Appointment");
  bare.SetSubject(u"Lunch");
  bare.SetNamed(pstgen::kPsetidAppointment, 0x820D, At(1357394400));
}

// Every converted item is in the report: counted under its kind when its file was written,
// named with the reason when it was not.
TEST(TextWriters, TheReportCountsWhatWasWrittenAndNamesWhatWasNot) {
  WriterFixture fixture;
  const FolderNode* folder = ScanItems(fixture, [](pstgen::Folder& f) {
    AddSmithContact(f);
    AddStandup(f);
    f.AddMessage("IPM.Task").SetSubject(u"Chores");
    f.AddMessage("IPM.StickyNote").SetSubject(u"Memo");
  });
  ASSERT_NE(folder, nullptr);
  fixture.Convert(*folder);
  const std::map<std::u16string, int> expected{
      {u"appointment", 2}, {u"contact", 1}, {u"note", 1}, {u"task", 1}};
  EXPECT_EQ(fixture.state.report.WrittenByKind(), expected);
  EXPECT_TRUE(fixture.state.report.Failures().empty());

  // A target that is a file, not a folder, takes none of them.
  fixture.state.report.Clear();
  const std::filesystem::path blocked = fixture.temp.path() / "blocked";
  std::ofstream(blocked) << "a file";
  export_handle_export_folder_items(fixture.state, folder->folder_nid, FromPath(blocked));
  EXPECT_TRUE(fixture.state.report.WrittenByKind().empty());
  const auto failures = fixture.state.report.Failures();
  ASSERT_EQ(failures.size(), 5u);
  EXPECT_EQ(failures[4].item, FromPath(blocked) + u"/Memo");
  EXPECT_EQ(ReadFile(blocked), "a file");
}

TEST(AppointmentWriter, WritesTheLabelledFileInConversionMode) {
  WriterFixture fixture;
  const FolderNode* folder = ScanItems(fixture, AddStandup);
  ASSERT_NE(folder, nullptr);
  const std::filesystem::path target = fixture.Convert(*folder);
  // The attachments lie beside the appointment's file, which lists them there.
  const std::u16string beside = FromPath(target) + u"/Standup--1 ";
  EXPECT_EQ(ReadFile(target / "Standup--1.txt"),
            Utf16FileBytes(u"SUBJECT:\t\tStandup\r\n"
                           u"StartTime:\t\t01/05/2013 14:00:00.000000000\r\n"
                           u"EndTime:\t\t01/05/2013 14:30:00.000000000\r\n"
                           u"Duration:\t\t60\r\n"
                           u"Location:\t\tRoom 1\r\n"
                           u"BusyStatus:\t\t2\r\n"
                           u"Attachment:\t\t" +
                           beside + u"a.txt;" + beside + u"b.txt;\r\n\r\n\r\n" +
                           u"Message Notes:\r\n\r\nagenda"));
  EXPECT_EQ(ReadFile(target / "Lunch--2.txt"),
            Utf16FileBytes(u"SUBJECT:\t\tLunch\r\n"
                           u"StartTime:\t\t01/05/2013 14:00:00.000000000\r\n"
                           u"Message Notes:\r\n\r\n"));
  EXPECT_EQ(ReadFile(target / "Standup--1 b.txt"), "B");
  EXPECT_FALSE(std::filesystem::exists(fixture.TempFolder() / "b.txt"));
  EXPECT_EQ(fixture.window.StatusTexts().back(),
            u"Saving Appointment [2]" + StatusTail(target, u"Lunch"));
}

TEST(AppointmentWriter, ListsLocationAndKeepsUnchangedTimesInPreviewMode) {
  WriterFixture fixture;
  const FolderNode* folder = ScanItems(fixture, AddStandup);
  ASSERT_NE(folder, nullptr);
  fixture.Preview(*folder);
  const std::vector<ListRow> rows = fixture.window.Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][1], u"appointment");
  EXPECT_EQ(rows[0][2], u"Room 1");
  EXPECT_EQ(rows[0][3], u"Standup");
  EXPECT_EQ(rows[0][5], u"Has attachments");
  EXPECT_EQ(rows[1][0], u"2");
  const auto record = fixture.state.row_records.FindAppointment(1);
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->texts.start_time, u"Jan 05, 2013 14:00:00.000000000");
  EXPECT_EQ(record->texts.duration, u"60");
  EXPECT_EQ(record->texts.busy_status, u"2");
  EXPECT_EQ(record->attachment_list, fixture.state.paths.temp_folder_path + u"a.txt;" +
                                         fixture.state.paths.temp_folder_path + u"b.txt;");
  EXPECT_FALSE(std::filesystem::exists(fixture.TempFolder() / "a.txt"));
}

void AddTasks(pstgen::Folder& folder) {
  pstgen::Message& report = folder.AddMessage("IPM.Task");
  report.SetSubject(u"Report").SetBody(u"details").Set(pstgen::tag::kSenderName, u"Boss");
  report.SetNamed(pstgen::kPsetidTask, 0x8105, At(1706806800));
  report.SetNamed(pstgen::kPsetidTask, 0x8101, std::int32_t{1});
  report.SetNamed(pstgen::kPsetidTask, 0x8102, 0.5);
  report.SetNamed(pstgen::kPsetidTask, 0x8110, std::int32_t{90});
  report.SetNamed(pstgen::kPsetidTask, 0x8111, std::int32_t{120});
  report.SetNamed(pstgen::kPsetidTask, 0x811C, true);
  report.SetNamed(pstgen::kPsetidTask, 0x8112, std::int32_t{3});
  pstgen::Message& open = folder.AddMessage("IPM.Task");
  open.SetSubject(u"Open");
  open.SetNamed(pstgen::kPsetidTask, 0x8104, At(1357394400));
  open.SetNamed(pstgen::kPsetidTask, 0x811C, false);
  folder.AddMessage("IPM.Task").SetSubject(u"Unknown");
}

TEST(TaskWriter, WritesTheLabelledFilesInConversionMode) {
  WriterFixture fixture;
  const FolderNode* folder = ScanItems(fixture, AddTasks);
  ASSERT_NE(folder, nullptr);
  const std::filesystem::path target = fixture.Convert(*folder);
  EXPECT_EQ(ReadFile(target / "Report--1.txt"),
            Utf16FileBytes(u"SUBJECT:\t\tReport\r\n"
                           u"Sender Name:\t\tBoss\r\n"
                           u"Start Date:\t\t" +  // no start date: the creation time
                           std::u16string(kCreatedRewritten) +
                           u"\r\n"
                           u"Due Date:\t\t02/01/2024 17:00:00.000000000\r\n"
                           u"Status:\t\t1\r\n"
                           u"Actual Effort:\t\t90\r\n"
                           u"Total Effort:\t\t120\r\n"
                           u"IsComplete:\t\tyes\r\n"
                           u"Message Notes:\r\n"
                           u"details"));
  EXPECT_EQ(ReadFile(target / "Open--2.txt"),
            Utf16FileBytes(u"SUBJECT:\t\tOpen\r\n"
                           u"Start Date:\t\t01/05/2013 14:00:00.000000000\r\n"
                           u"IsComplete:\t\tno\r\n"
                           u"Message Notes:\r\n"));
  EXPECT_EQ(ReadFile(target / "Unknown--3.txt"),
            Utf16FileBytes(u"SUBJECT:\t\tUnknown\r\nStart Date:\t\t" +
                           std::u16string(kCreatedRewritten) + u"\r\nMessage Notes:\r\n"));
  EXPECT_EQ(fixture.window.StatusTexts().front(),
            u"Saving Task [1]" + StatusTail(target, u"Report"));
}

TEST(TaskWriter, ListsTheSenderAndKeepsEveryValueInPreviewMode) {
  WriterFixture fixture;
  const FolderNode* folder = ScanItems(fixture, AddTasks);
  ASSERT_NE(folder, nullptr);
  fixture.Preview(*folder);
  const std::vector<ListRow> rows = fixture.window.Rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][1], u"task");
  EXPECT_EQ(rows[0][2], u"Boss");
  EXPECT_EQ(rows[0][4], kCreated);
  const auto record = fixture.state.row_records.FindTask(1);
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->texts.sender_name, u"Boss");
  EXPECT_EQ(record->texts.start_date, u"");
  EXPECT_EQ(record->texts.due_date, u"Feb 01, 2024 17:00:00.000000000");
  EXPECT_EQ(record->texts.percent_complete, u"5.000000e-001");
  EXPECT_EQ(record->texts.complete, u"yes");
  EXPECT_EQ(record->texts.version, u"3");
  EXPECT_EQ(fixture.state.row_records.FindTask(3)->texts.complete, u"");
}

TEST(NoteWriter, WritesAFileNamedFromItsNumberWhenItHasNoSubject) {
  WriterFixture fixture;
  const FolderNode* folder = ScanItems(fixture, [](pstgen::Folder& f) {
    pstgen::Message& note = f.AddMessage("IPM.StickyNote");
    note.SetBody(u"remember the milk");
    note.AddAttachment(u"list.txt", pstgen::Bytes("milk"));
  });
  ASSERT_NE(folder, nullptr);
  const std::filesystem::path target = fixture.Convert(*folder);
  // The attachment lies beside the note, named like it, and the note lists it.
  EXPECT_EQ(ReadFile(target / "--1.txt"),
            Utf16FileBytes(u"Date:\t\t" + std::u16string(kCreatedRewritten) +
                           u"\r\nAttachment:\t\t" + FromPath(target / "--1 list.txt") +
                           u";\r\nMessage Notes:\r\nremember the milk"));
  EXPECT_EQ(ReadFile(target / "--1 list.txt"), "milk");
  EXPECT_EQ(fixture.window.StatusTexts().back(), u"Saving Notes [1]" + StatusTail(target, u""));
}

TEST(NoteWriter, ListsAnEmptyFromColumnInPreviewMode) {
  WriterFixture fixture;
  const FolderNode* folder = ScanItems(fixture, [](pstgen::Folder& f) {
    f.AddMessage("IPM.StickyNote").SetSubject(u"Idea").SetBody(u"text");
  });
  ASSERT_NE(folder, nullptr);
  fixture.Preview(*folder);
  const std::vector<ListRow> rows = fixture.window.Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0],
            (ListRow{u"1", u"note", u"", u"Idea", std::u16string(kCreated), u"Read", rows[0][6]}));
  const auto record = fixture.state.row_records.FindNote(1);
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(std::string(record->body.bytes.begin(), record->body.bytes.end()), "text");
}

TEST(TextWriters, SampleAppointmentAndContact) {
  BM_SAMPLE_OR_SKIP(pst, "dist-list.pst");
  WriterFixture fixture;
  ASSERT_TRUE(fixture.Scan(pst));
  const FolderNode* calendar = fixture.Folder(u"/Top of Personal Folders/Calendar");
  const FolderNode* contacts = fixture.Folder(u"/Top of Personal Folders/Contacts");
  ASSERT_NE(calendar, nullptr);
  ASSERT_NE(contacts, nullptr);
  fixture.Preview(*contacts);
  std::vector<ListRow> rows = fixture.window.Rows();
  ASSERT_EQ(rows.size(), 1u);  // the distribution list beside the contact is skipped
  EXPECT_EQ(rows[0][1], u"contact");
  EXPECT_EQ(rows[0][3], u"contact name 1");

  // The distribution list, first in the folder, is converted too (an MSG file) and takes
  // number 1.
  const std::filesystem::path contact_target = fixture.Convert(*contacts);
  const std::string contact_file = ReadFile(contact_target / "contact name 1--2.txt");
  ASSERT_GE(contact_file.size(), 2u);
  EXPECT_EQ(contact_file.substr(0, 2), "\xFF\xFE");

  fixture.Preview(*calendar);
  rows = fixture.window.Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1], u"appointment");
  EXPECT_EQ(rows[0][3], u"Test appointment");
  const std::filesystem::path calendar_target = fixture.Convert(*calendar);
  const std::string appointment_file = ReadFile(calendar_target / "Test appointment--1.txt");
  EXPECT_EQ(appointment_file.substr(0, 2 + 2 * 8), Utf16FileBytes(u"SUBJECT:"));
}

}  // namespace
}  // namespace bm

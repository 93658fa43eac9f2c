#include "preview/preview_pages.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/item_click.h"
#include "preview/click_dispatch.h"
#include "preview_test_support.h"

namespace bm {
namespace {

using test::PreviewFixture;
using test::ReadFile;
using test::Utf16Le;

// The start of every header page, up to and including the table's start tag.
const std::string kPageStart =
    "<!DOCTYPE html PUBLIC '-//W3C//DTD XHTML 1.0 Transitional//EN' "
    "'http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd'>"
    "<html xmlns='http://www.w3.org/1999/xhtml'><head>"
    "<meta http-equiv='Content-Type' content='text/html; charset=utf-8' />"
    "<style type='text/css'><!--"
    "body,td,th {\tfont-family: Verdana, Arial, Helvetica, sans-serif;\tfont-size: 11px;"
    "\tcolor: #666666;}"
    "body {\tmargin-left: 0px;\tmargin-top: 0px;\tmargin-right: 0px;\tmargin-bottom: 0px;}"
    "a {\tfont-family: Verdana, Arial, Helvetica, sans-serif;\tfont-size: 10px;}"
    "--></style></head><body>"
    "<table width='100%' border='0' cellspacing='0' cellpadding='0'>";
const std::string kPageEnd = "</table></body></html>";

std::string Row(const std::string& label, const std::string& value) {
  return "  <tr>   <td height='20'><b>" + label + ": </b> " + value + "</td> </tr>";
}

std::string U16(std::string_view utf8) {
  return Utf16Le(FromUtf8(utf8), true);
}

// Whether an XML parser accepts the file; skipped quietly without xmllint.
void ExpectWellFormed(const std::filesystem::path& page) {
  if (!test::HaveProgram("xmllint")) return;
  const auto result = test::Run("xmllint --noout --nonet " + test::Quote(page.string()) + " 2>&1");
  EXPECT_EQ(result.exit_code, 0) << result.output;
}

EmailRowRecord FullEmail(const std::u16string& temp) {
  EmailRowRecord r;
  r.number = 1;
  r.body_file_path = temp + u"Me1.html";
  r.creation_time = u"Jan 05, 2013 14:03:22.123456700";
  r.subject = u"Quarterly figures";
  r.sender = u"Ann Lee";
  r.sender_address = u"ann@example.com";
  r.to_list = u"Bob [bob@example.com],";
  r.attachment_list = temp + u"a.txt;" + temp + u"b.pdf;";
  return r;
}

TEST(EmailPreview, WritesHeaderAndFramesetThroughUtf16File) {
  PreviewFixture f;
  f.state().row_records.Append(FullEmail(f.temp()));
  EXPECT_EQ(ShowEmailPreview(PreviewEnvOf(f.state()), u"1", u"Ann Lee"), 1);

  const std::string header =
      kPageStart +
      "  <tr>   <td height='20'><b>From :</b>Ann Lee[ann@example.com]</td>"
      "   <td height='20'><b>Date:</b >Jan 05, 2013 14:03:22.123456700</td> </tr>"
      "  <tr>   <td height='20'><b>Subject: </b> Quarterly figures</td>"
      "    <td height='20'><b>To:</b> Bob [bob@example.com],</td> </tr>"
      "<tr>   <td height='20' colspan='2'><b>Attachment: </b><span color='red'>a.txt;b.pdf;"
      "</span></td> </tr>" +
      kPageEnd;
  EXPECT_EQ(ReadFile(f.File("header.html")), U16(header));
  const std::string temp = f.Utf8(f.temp());
  EXPECT_EQ(ReadFile(f.File("email.html")),
            U16("<html><head></head><frameset rows='28%,*' border='0'><frame src='file://" + temp +
                "header.html'  scrolling='auto' frameborder='1'><frame src='file://" + temp +
                "Me1.html'></frameset></html>"));
  EXPECT_EQ(f.window().LastNavigation(), f.temp() + u"email.html");
  ExpectWellFormed(f.File("header.html"));
}

TEST(EmailPreview, OptionalCells) {
  PreviewFixture f;
  EmailRowRecord r = FullEmail(f.temp());
  r.to_list.clear();
  r.attachment_list.clear();
  r.sender.clear();
  const std::string rows_without_sender =
      "  <tr>   <td height='20'><b>From :</b>[ann@example.com]</td>";
  const std::string empty_to = "<b>To:</b> </td> </tr>" + kPageEnd;
  std::u16string page = EmailHeaderPage(r, f.temp());
  EXPECT_NE(ToUtf8(page).find(rows_without_sender), std::string::npos);
  EXPECT_EQ(ToUtf8(page).substr(ToUtf8(page).size() - empty_to.size()), empty_to);
  EXPECT_EQ(ToUtf8(page).find("Attachment"), std::string::npos);

  r.sender = u"Ann Lee";
  r.sender_address.clear();
  EXPECT_NE(ToUtf8(EmailHeaderPage(r, f.temp())).find("<b>From :</b>Ann Lee</td>"),
            std::string::npos);

  // Attachment names that are all temp folder path leave no row.
  r.attachment_list = f.temp();
  EXPECT_EQ(ToUtf8(EmailHeaderPage(r, f.temp())).find("Attachment"), std::string::npos);
}

TEST(EmailPreview, EscapesEveryValue) {
  PreviewFixture f;
  EmailRowRecord r = FullEmail(f.temp());
  r.subject = u"<script>alert(1)</script>";
  r.sender = u"Tom & \"Jerry\"";
  r.sender_address = u"o'brien@example.com";
  r.to_list = u"<b>bold</b>";
  r.creation_time = u"a\u0001b";
  r.attachment_list = f.temp() + u"x<y>.txt;";
  f.state().row_records.Append(r);
  ASSERT_EQ(ShowEmailPreview(PreviewEnvOf(f.state()), u"1", r.sender), 1);

  const std::u16string header = FromUtf8(kPageStart) +
                                u"  <tr>   <td height='20'><b>From :</b>"
                                u"Tom &amp; &quot;Jerry&quot;[o&#39;brien@example.com]</td>"
                                u"   <td height='20'><b>Date:</b >a\uFFFDb</td> </tr>"
                                u"  <tr>   <td height='20'><b>Subject: </b> "
                                u"&lt;script&gt;alert(1)&lt;/script&gt;</td>"
                                u"    <td height='20'><b>To:</b> &lt;b&gt;bold&lt;/b&gt;</td> </tr>"
                                u"<tr>   <td height='20' colspan='2'><b>Attachment: </b>"
                                u"<span color='red'>x&lt;y&gt;.txt;</span></td> </tr>" +
                                FromUtf8(kPageEnd);
  EXPECT_EQ(ReadFile(f.File("header.html")), Utf16Le(header, true));
  ExpectWellFormed(f.File("header.html"));
}

TEST(ContactPreview, SubjectOnlyGivesOneRow) {
  PreviewFixture f;
  ContactRowRecord r;
  r.number = 2;
  r.subject = u"Zoë Ångström";
  f.state().row_records.Append(r);
  ASSERT_EQ(ShowContactPreview(PreviewEnvOf(f.state()), u"2", u""), 1);

  EXPECT_EQ(ReadFile(f.File("header.html")),
            kPageStart + Row("Subject", "Zoë Ångström") + kPageEnd);
  // No body: the plain-text body file is written empty.
  EXPECT_TRUE(std::filesystem::exists(f.File("textbody.txt")));
  EXPECT_EQ(ReadFile(f.File("textbody.txt")), "");
  const std::string temp = f.Utf8(f.temp());
  EXPECT_EQ(ReadFile(f.File("email.html")),
            Utf16Le(FromUtf8("<html><head></head><frameset cols='50%,50%*' border='0'>"
                             "<frame src='file://" +
                             temp +
                             "header.html'  scrolling='auto' frameborder='1'>"
                             "<frame src='file://" +
                             temp + "textbody.txt'></frameset></html>"),
                    true));
  EXPECT_EQ(f.window().LastNavigation(), f.temp() + u"email.html");
  ExpectWellFormed(f.File("header.html"));
}

TEST(ContactPreview, AllSeventyThreeFieldsInLabelOrder) {
  PreviewFixture f;
  ContactRowRecord r;
  r.number = 1;
  r.subject = u"S";
  for (std::size_t i = 0; i < kContactFieldCount; ++i) r.fields[i] = u"v" + DecimalText(i);
  r.body.kind = BodyKind::kHtml;
  r.body.bytes = {'<', 'p', '>', 0xE9, '<', '/', 'p', '>'};
  r.attachment_list = f.temp() + u"card.vcf;";

  std::string rows = Row("Subject", "S");
  const char* labels[] = {"File Under",
                          "Given Name",
                          "Initials",
                          "Sur Name",
                          "Title",
                          "Generational Abbreviation",
                          "Callback Phone Number",
                          "Primary Phone Number",
                          "Home Phone Number",
                          "Mobile Phone Number",
                          "Company Name",
                          "Job Title",
                          "Office Location",
                          "Department Name",
                          "Postal Address",
                          "Country",
                          "Locality",
                          "Business Phone Number 1",
                          "Business Phone Number 2",
                          "Business Fax Number",
                          "Email Address1",
                          "Email Address2",
                          "Email Address3",
                          "Radio Telephone Number",
                          "Car Telephone Number",
                          "Other Telephone Number",
                          "Pager Telephone Number",
                          "Primary Fax Number",
                          "Home Fax Number",
                          "Telex Number",
                          "isdn Number",
                          "Assistant Telephone Number",
                          "Home2 Telephone Number",
                          "Customer id",
                          "Contact Hobbies",
                          "Home Address Street",
                          "Gender",
                          "Middle Name",
                          "Languages",
                          "Assistant Name",
                          "Profession",
                          "Spouse Name",
                          "Company Main Phone Number",
                          "Address City",
                          "Wedding Anniversary",
                          "Birth Day",
                          "Manager Name",
                          "Nick Name",
                          "Personal Home Page",
                          "Business Home Page",
                          "Home Address Country",
                          "Address Postal Code",
                          "Home Address State",
                          "Other Address City",
                          "Other Address Country",
                          "Other Address Postal Code",
                          "Other Address State",
                          "Other Address Street",
                          "Account",
                          "ttytdd Phone Number",
                          "Government ID Number",
                          "Organization ID Number",
                          "Original Display Name",
                          "Business Street",
                          "Business State",
                          "Business Postal Code",
                          "Business City",
                          "Work Country",
                          "Work City",
                          "Work Street",
                          "Work State",
                          "Work Postal Code",
                          "Work Post Office Box"};
  static_assert(std::size(labels) == kContactFieldCount);
  for (std::size_t i = 0; i < kContactFieldCount; ++i) {
    rows += Row(labels[i], "v" + std::to_string(i));
  }
  rows += "<tr>   <td height='20'><b>Attachment: </b><span color='red'>card.vcf;</span></td> </tr>";
  EXPECT_EQ(ToUtf8(ContactHeaderPage(r, f.temp())), kPageStart + rows + kPageEnd);

  f.state().row_records.Append(r);
  ASSERT_EQ(ShowContactPreview(PreviewEnvOf(f.state()), u"1", u""), 1);
  EXPECT_EQ(ReadFile(f.File("htmlbody.html")), "<p>\xE9</p>");
}

AppointmentRowRecord FullAppointment() {
  AppointmentRowRecord r;
  r.number = 3;
  r.subject = u"Planning";
  r.texts.start_time = u"Mar 01, 2024 09:00:00";
  r.texts.end_time = u"Mar 01, 2024 10:00:00";
  r.texts.duration = u"60";
  r.texts.location = u"東京 room";
  r.texts.recurrence_pattern = u"Every week";
  r.texts.first_effective_time = u"Mar 01, 2024";
  r.texts.last_effective_time = u"Mar 29, 2024";
  r.texts.busy_status = u"Busy";
  return r;
}

TEST(AppointmentPreview, AllRowsAsUtf8) {
  PreviewFixture f;
  const AppointmentRowRecord r = FullAppointment();
  EXPECT_EQ(ToUtf8(AppointmentHeaderPage(r, f.temp())),
            kPageStart + Row("Subject", "Planning") + Row("Start Time", "Mar 01, 2024 09:00:00") +
                Row("End Time", "Mar 01, 2024 10:00:00") + Row("Duration", "60") +
                Row("Location", "東京 room") + Row("Recurrence Pattern", "Every week") +
                Row("First Effective Time", "Mar 01, 2024") +
                Row("Last Effective Time", "Mar 29, 2024") + Row("Busy Status", "Busy") + kPageEnd);

  f.state().row_records.Append(r);
  ASSERT_EQ(ShowAppointmentPreview(PreviewEnvOf(f.state()), u"3", u""), 1);
  const std::string page = ReadFile(f.File("header.html"));
  EXPECT_NE(page.find("<b>Location: </b> 東京 room</td>"), std::string::npos);
  ExpectWellFormed(f.File("header.html"));
}

TEST(AppointmentPreview, LineFeedsBecomeCrLfAndEmptyValuesLeaveNoRow) {
  PreviewFixture f;
  AppointmentRowRecord r;
  r.number = 1;
  r.subject = u"two\nlines";
  r.texts.busy_status = u"Free";
  f.state().row_records.Append(r);
  ASSERT_EQ(ShowAppointmentPreview(PreviewEnvOf(f.state()), u"1", u""), 1);
  EXPECT_EQ(ReadFile(f.File("header.html")),
            kPageStart + Row("Subject", "two\r\nlines") + Row("Busy Status", "Free") + kPageEnd);
}

TEST(AppointmentPreview, RtfBodyBecomesByteText) {
  PreviewFixture f;
  AppointmentRowRecord r = FullAppointment();
  const std::string rtf = "{\\rtf1{\\fonttbl{\\f0 Arial;}}caf\\'e9 \\'80\\par end}";
  r.body = {std::vector<std::uint8_t>(rtf.begin(), rtf.end()), BodyKind::kRtf};
  f.state().row_records.Append(r);
  ASSERT_EQ(ShowAppointmentPreview(PreviewEnvOf(f.state()), u"3", u""), 1);

  EXPECT_FALSE(std::filesystem::exists(f.File("rtfbody.txt")));
  EXPECT_EQ(ReadFile(f.File("rtfbody.txttextbody.txt")), "caf\xE9 \x80\r\nend");
  EXPECT_NE(ReadFile(f.File("email.html")).find(Utf16Le(u"rtfbody.txttextbody.txt'", false)),
            std::string::npos);
}

TEST(AppointmentPreview, MalformedRtfBodyDoesNotBlankTheNext) {
  PreviewFixture f;
  AppointmentRowRecord bad = FullAppointment();
  const std::string broken = "{\\rtf1{\\fonttbl{\\f0 Arial;\\'4";
  bad.body = {std::vector<std::uint8_t>(broken.begin(), broken.end()), BodyKind::kRtf};
  AppointmentRowRecord good = FullAppointment();
  good.number = 4;
  const std::string fine = "{\\rtf1 Agenda}";
  good.body = {std::vector<std::uint8_t>(fine.begin(), fine.end()), BodyKind::kRtf};
  f.state().row_records.Append(bad);
  f.state().row_records.Append(good);

  ASSERT_EQ(ShowAppointmentPreview(PreviewEnvOf(f.state()), u"3", u""), 1);
  EXPECT_EQ(ReadFile(f.File("rtfbody.txttextbody.txt")), "");
  ASSERT_EQ(ShowAppointmentPreview(PreviewEnvOf(f.state()), u"4", u""), 1);
  EXPECT_EQ(ReadFile(f.File("rtfbody.txttextbody.txt")), "Agenda");
}

TEST(TaskPreview, FromRowCarriesTheSender) {
  PreviewFixture f;
  TaskRowRecord r;
  r.number = 5;
  r.subject = u"Report";
  r.texts.sender_name = u"Zoë";
  r.texts.start_date = u"Jan 01, 2024";
  r.texts.due_date = u"Jan 31, 2024";
  r.texts.status = u"In progress";
  r.texts.percent_complete = u"0.5";
  r.texts.actual_effort = u"30";
  r.texts.total_effort = u"60";
  r.texts.complete = u"No";
  r.texts.version = u"7";
  r.attachment_list = f.temp() + u"notes.txt;";
  const std::string rows = Row("Subject", "Report") + Row("From", "Zoë") +
                           Row("Start Date", "Jan 01, 2024") + Row("Due Date", "Jan 31, 2024") +
                           Row("Status", "In progress") + Row("Percentage Complete", "0.5") +
                           Row("Actual Effort", "30") + Row("Total Effort", "60") +
                           Row("Is Complete", "No") + Row("Version", "7");
  const std::string attachment =
      "<tr>   <td height='20'><b>Attachment: </b><span color='red'>notes.txt;</span></td> </tr>";
  EXPECT_EQ(ToUtf8(TaskHeaderPage(r, f.temp())), kPageStart + rows + attachment + kPageEnd);

  r.texts.sender_name.clear();
  EXPECT_EQ(ToUtf8(TaskHeaderPage(r, f.temp())).find("<b>From: </b>"), std::string::npos);

  f.state().row_records.Append(r);
  ASSERT_EQ(ShowTaskPreview(PreviewEnvOf(f.state()), u"5", u""), 1);
  ExpectWellFormed(f.File("header.html"));
  EXPECT_EQ(f.window().LastNavigation(), f.temp() + u"email.html");
}

TEST(NotePreview, ShowsTheBodyFileAlone) {
  PreviewFixture f;
  const std::string rtf = "{\\rtf1 Milk\\par Eggs}";
  f.state().row_records.Append(
      test::Note(1, {std::vector<std::uint8_t>(rtf.begin(), rtf.end()), BodyKind::kRtf}));
  f.state().row_records.Append(test::Note(2, {{'h', 'i', '\n'}, BodyKind::kText}));

  ASSERT_EQ(ShowNotePreview(PreviewEnvOf(f.state()), u"1", u""), 1);
  EXPECT_EQ(f.window().LastNavigation(), f.temp() + u"rtfbody.rtftextbody.txt");
  EXPECT_EQ(ReadFile(f.File("rtfbody.rtftextbody.txt")), "Milk\r\nEggs");
  EXPECT_FALSE(std::filesystem::exists(f.File("rtfbody.rtf")));
  EXPECT_FALSE(std::filesystem::exists(f.File("header.html")));
  EXPECT_FALSE(std::filesystem::exists(f.File("email.html")));

  ASSERT_EQ(ShowNotePreview(PreviewEnvOf(f.state()), u"2", u""), 1);
  EXPECT_EQ(f.window().LastNavigation(), f.temp() + u"textbody.txt");
  EXPECT_EQ(ReadFile(f.File("textbody.txt")), "hi\n");
}

TEST(PreviewPaths, QuotesAndUrlCharactersInTheTempFolderCannotBreakOut) {
  PreviewFixture f("it's \"#1\" 50% <b>&?");
  EmailRowRecord email = FullEmail(f.temp());
  f.state().row_records.Append(email);
  ASSERT_EQ(ShowEmailPreview(PreviewEnvOf(f.state()), u"1", u"Ann Lee"), 1);
  const std::string frameset = ReadFile(f.File("email.html"));
  EXPECT_NE(
      frameset.find(Utf16Le(u"it%27s%20%22%231%22%2050%25%20%3Cb%3E%26%3F/header.html'", false)),
      std::string::npos);
  // The attachment names still lose the folder, so its quote never reaches the page.
  ExpectWellFormed(f.File("header.html"));

  TaskRowRecord task;
  task.number = 2;
  task.subject = u"x";
  task.attachment_list = u"/elsewhere/it's \"odd\".txt;";
  f.state().row_records.Append(task);
  ASSERT_EQ(ShowTaskPreview(PreviewEnvOf(f.state()), u"2", u""), 1);
  EXPECT_NE(ReadFile(f.File("header.html")).find("it&#39;s &quot;odd&quot;.txt;"),
            std::string::npos);
  ExpectWellFormed(f.File("header.html"));
}

TEST(PreviewPaths, FileUrls) {
  EXPECT_EQ(ToUtf8(EmailFramesetPage(u"/t/h.html", u"/t/ä b.html")),
            "<html><head></head><frameset rows='28%,*' border='0'><frame src='file:///t/h.html'"
            "  scrolling='auto' frameborder='1'><frame src='file:///t/%C3%A4%20b.html'>"
            "</frameset></html>");
  EXPECT_EQ(ToUtf8(EmailFramesetPage(u"/t/h.html", u"")),
            "<html><head></head><frameset rows='28%,*' border='0'><frame src='file:///t/h.html'"
            "  scrolling='auto' frameborder='1'><frame src=''></frameset></html>");
}

}  // namespace
}  // namespace bm

// From a written store through the folder load and a click to the preview files, and the same
// through brindlemoor-cli.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/paths.h"
#include "base/text.h"
#include "engine/app_state.h"
#include "engine/dispatch.h"
#include "engine/item_click.h"
#include "engine/scan_worker.h"
#include "preview/click_dispatch.h"
#include "preview_test_support.h"
#include "support/recording_window.h"
#include "support/test_support.h"
#include "tools/pstgen/pstgen.h"

namespace bm {
namespace {

using test::ReadFile;
using test::Utf16Le;

constexpr std::uint32_t kLocationLid = 0x8208;

pstgen::Store PreviewStore() {
  pstgen::Store store;
  pstgen::Message& mail = store.top().AddFolder(u"Inbox", u"IPF.Note").AddMessage("IPM.Note");
  mail.SetSubject(u"<script>alert(1)</script>")
      .Set(pstgen::tag::kSenderName, u"Ann & Co")
      .Set(pstgen::tag::kSenderEmailAddress, u"ann@example.com")
      .SetHtml("<p>Hello</p>");
  mail.AddRecipient(u"Bob", u"bob@example.com", pstgen::RecipientType::kTo);

  store.top()
      .AddFolder(u"Calendar", u"IPF.Appointment")
      .AddMessage("IPM.Appointment")
      .SetSubject(u"Planning")
      .SetNamed(pstgen::kPsetidAppointment, kLocationLid, u"東京")
      .SetRtf("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}Agenda\\par caf\\'e9}");

  store.top()
      .AddFolder(u"Contacts", u"IPF.Contact")
      .AddMessage("IPM.Contact")
      .SetSubject(u"Zoë <Zed>");

  store.top()
      .AddFolder(u"Tasks", u"IPF.Task")
      .AddMessage("IPM.Task")
      .SetSubject(u"Report")
      .Set(pstgen::tag::kSenderName, u"Zoë");

  store.top().AddFolder(u"Notes", u"IPF.StickyNote").AddMessage("IPM.StickyNote").SetBody(u"Milk");
  return store;
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    pst_ = dir_.path() / "store.pst";
    pstgen::Write(PreviewStore(), pst_);
    EXPECT_TRUE(PrepareScan(state_, FromPath(pst_), FromPath(dir_.path() / "QelTemp")).ok());
    state_.root_tree_item = window_.InsertTreeItem(kNoTreeItem, state_.paths.pst_path, u"");
    ASSERT_TRUE(RunScanWorker(state_));
  }

  // Lists the folder and clicks its first row; the navigation target, or nothing.
  std::optional<std::u16string> ClickFirstRow(std::u16string_view folder_name) {
    for (const FolderNode& node : state_.folder_nodes) {
      if (node.FolderPath().ends_with(folder_name)) {
        EXPECT_TRUE(RunFolderLoad(state_, node.tree_item).ok());
      }
    }
    window_.ClearCalls();
    if (OnClickItemList(state_, FirstSelectedRow(window_.Rows(), {0})) == 0) return std::nullopt;
    return window_.LastNavigation();
  }

  std::filesystem::path Temp(std::string_view name) const {
    return ToPath(state_.paths.temp_folder_path) / name;
  }

  void ExpectWellFormedHeader() {
    if (!test::HaveProgram("xmllint")) return;
    const auto result =
        test::Run("xmllint --noout --nonet " + test::Quote(Temp("header.html").string()) + " 2>&1");
    EXPECT_EQ(result.exit_code, 0) << result.output;
  }

  test::TempDir dir_;
  std::filesystem::path pst_;
  test::RecordingWindow window_;
  AppState state_{window_};
};

TEST_F(EndToEnd, EmailSubjectShowsAsText) {
  const auto target = ClickFirstRow(u"/Inbox");
  ASSERT_TRUE(target);
  EXPECT_EQ(*target, state_.paths.temp_folder_path + u"email.html");
  const std::string header = ReadFile(Temp("header.html"));
  EXPECT_NE(header.find(Utf16Le(u"&lt;script&gt;alert(1)&lt;/script&gt;", false)),
            std::string::npos);
  EXPECT_EQ(header.find(Utf16Le(u"<script>", false)), std::string::npos);
  EXPECT_NE(header.find(Utf16Le(u"Ann &amp; Co", false)), std::string::npos);
  ExpectWellFormedHeader();
}

TEST_F(EndToEnd, AppointmentLocationAndRtfBody) {
  ASSERT_TRUE(ClickFirstRow(u"/Calendar"));
  const std::string header = ReadFile(Temp("header.html"));
  EXPECT_NE(header.find("<b>Location: </b> 東京</td>"), std::string::npos);
  ExpectWellFormedHeader();
  EXPECT_FALSE(std::filesystem::exists(Temp("rtfbody.txt")));
  EXPECT_EQ(ReadFile(Temp("rtfbody.txttextbody.txt")), "Agenda\r\ncaf\xE9");
}

TEST_F(EndToEnd, ContactTaskAndNote) {
  ASSERT_TRUE(ClickFirstRow(u"/Contacts"));
  EXPECT_NE(ReadFile(Temp("header.html")).find("<b>Subject: </b> Zoë &lt;Zed&gt;</td>"),
            std::string::npos);
  ExpectWellFormedHeader();

  ASSERT_TRUE(ClickFirstRow(u"/Tasks"));
  EXPECT_NE(ReadFile(Temp("header.html")).find("<b>From: </b> Zoë</td>"), std::string::npos);
  ExpectWellFormedHeader();

  const auto note = ClickFirstRow(u"/Notes");
  ASSERT_TRUE(note);
  EXPECT_TRUE(note->ends_with(u"textbody.txt"));
  EXPECT_NE(ReadFile(ToPath(*note)).find("Milk"), std::string::npos);
}

TEST_F(EndToEnd, AFolderSwitchResolvesAgainstTheNewListing) {
  ASSERT_TRUE(ClickFirstRow(u"/Inbox"));
  // Row 1 of the calendar is the appointment now; the e-mail's number means nothing.
  ASSERT_TRUE(ClickFirstRow(u"/Calendar"));
  EXPECT_EQ(OnClickItemList(state_, ClickedRow{u"1", u"email", u"Ann & Co"}), 0);
}

TEST_F(EndToEnd, RowsLeftAfterAConversionShowNothing) {
  ASSERT_TRUE(ClickFirstRow(u"/Calendar"));
  const ListRow row = window_.Rows().at(0);
  const FolderNode* calendar = nullptr;
  for (const FolderNode& node : state_.folder_nodes) {
    if (node.FolderPath().ends_with(u"/Calendar")) calendar = &node;
  }
  ASSERT_NE(calendar, nullptr);

  // The conversion empties the lists for the folder it converts; the row stays listed.
  const std::filesystem::path out = dir_.path() / "out";
  std::filesystem::create_directories(out);
  state_.conversion_mode = true;
  export_handle_export_folder_items(state_, calendar->folder_nid, FromPath(out));
  EXPECT_EQ(OnClickItemList(state_, ClickedRowOf(row)), 0);

  // Selecting the folder again brings the preview back.
  EXPECT_TRUE(ClickFirstRow(u"/Calendar"));
}

TEST_F(EndToEnd, CommandLinePrintsTheNavigationTarget) {
  const std::string cli = std::string(BRINDLEMOOR_BINARY_DIR) + "/cli/brindlemoor-cli";
  if (!std::filesystem::exists(cli)) GTEST_SKIP() << "brindlemoor-cli is not built";
  const std::string temp = (dir_.path() / "cli").string();
  std::filesystem::create_directories(temp);
  const std::string base = test::Quote(cli) + " preview " + test::Quote(pst_.string()) + " ";

  const auto shown = test::Run(base + "'/Top of Personal Folders/Calendar' 1 --temp " +
                               test::Quote(temp) + " 2>/dev/null");
  EXPECT_EQ(shown.exit_code, 0);
  // The page lies in the run's private folder inside --temp, which the preview keeps.
  ASSERT_FALSE(shown.output.empty());
  const std::filesystem::path frameset = shown.output.substr(0, shown.output.size() - 1);
  EXPECT_EQ(frameset.filename(), "email.html");
  EXPECT_EQ(frameset.parent_path().parent_path(), std::filesystem::path(temp));
  EXPECT_TRUE(frameset.parent_path().filename().string().starts_with("QelTemp"));
  EXPECT_TRUE(std::filesystem::exists(frameset));
  EXPECT_TRUE(std::filesystem::exists(frameset.parent_path() / "rtfbody.txttextbody.txt"));

  const auto missing = test::Run(base + "'/Top of Personal Folders/Calendar' 7 --temp " +
                                 test::Quote(temp) + " 2>/dev/null");
  EXPECT_NE(missing.exit_code, 0);
  EXPECT_EQ(missing.output, "");
}

}  // namespace
}  // namespace bm

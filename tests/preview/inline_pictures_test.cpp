// Pictures an HTML body shows from its own attachments: the reference rewriting, and a click on
// a listed e-mail that writes the pictures and shows the body from its rewritten copy.
#include "preview/inline_pictures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "engine/app_state.h"
#include "engine/dispatch.h"
#include "engine/item_click.h"
#include "engine/scan_worker.h"
#include "preview/click_dispatch.h"
#include "preview/xhtml.h"
#include "support/recording_window.h"
#include "support/test_support.h"
#include "tools/pstgen/pstgen.h"

namespace bm {
namespace {

using test::ReadFile;

// A UTF-16LE page (mark FF FE first) as UTF-8.
std::string Utf16File(const std::filesystem::path& path) {
  const std::string bytes = ReadFile(path);
  std::u16string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return ToUtf8(text);
}

InlinePart Part(std::u16string content_id, std::u16string location = {}) {
  return InlinePart{.content_id = std::move(content_id),
                    .content_location = std::move(location),
                    .attachment_index = 0,
                    .file_name = u"x.png",
                    .size = 0};
}

TEST(RewriteInlineReferences, ReplacesEveryReferenceFormAndNothingElse) {
  const std::vector<InlinePart> parts = {Part(u"<image001.png@01D9>"), Part(u"logo"),
                                         Part(u"", u"http://example.com/bg.gif"), Part(u"unused")};
  const std::vector<std::string> urls = {"A", "B", "C", "D"};
  const std::string html =
      "<p>see cid:logo here</p>"                       // text, not a reference
      "<img src=\"cid:IMAGE001.png@01d9\">"            // case differs, no brackets
      "<img src='CID:%3Cimage001.png%4001D9%3E'>"      // percent-encoded, with brackets
      "<td background=cid:logo width=3>"               // unquoted attribute
      "<div style=\"background: url( 'cid:logo' )\">"  // CSS url(), quoted and spaced
      "<style>p{background:URL(cid:logo)}</style>"     // style sheet
      "<img src=\"http://example.com/bg.gif\">"        // content location
      "<img src=\"http://example.com/bg.gifx\">"       // not the location
      "<img src=\"cid:other\"><a href=\"x\">y=z</a>";
  const RewrittenHtml rewritten = RewriteInlineReferences(html, parts, urls);
  EXPECT_EQ(rewritten.html,
            "<p>see cid:logo here</p>"
            "<img src=\"A\">"
            "<img src='A'>"
            "<td background=B width=3>"
            "<div style=\"background: url( 'B' )\">"
            "<style>p{background:URL(B)}</style>"
            "<img src=\"C\">"
            "<img src=\"http://example.com/bg.gifx\">"
            "<img src=\"cid:other\"><a href=\"x\">y=z</a>");
  EXPECT_EQ(rewritten.used, (std::vector<std::size_t>{0, 1, 2}));
}

TEST(RewriteInlineReferences, LeavesPartsWithoutAUrlAndOddPagesAlone) {
  const std::vector<InlinePart> parts = {Part(u"a"), Part(u"b")};
  const std::vector<std::string> urls = {"", "B"};
  EXPECT_EQ(RewriteInlineReferences("<img src=cid:a><img src=cid:b>", parts, urls).html,
            "<img src=cid:a><img src=B>");
  // Unterminated values, a page ending in "=" or "url(", and no parts at all.
  for (const std::string html : {"<img src=\"cid:b", "x=", "url(", "=\"", "=cid:", ""}) {
    const RewrittenHtml rewritten = RewriteInlineReferences(html, parts, urls);
    EXPECT_EQ(rewritten.html, html == "<img src=\"cid:b" ? "<img src=\"B" : html) << html;
  }
  EXPECT_EQ(RewriteInlineReferences("<img src=cid:a>", {}, {}).html, "<img src=cid:a>");
}

// ---- A click on a listed e-mail ------------------------------------------------------------

pstgen::Binary Bytes(std::string_view text) {
  return pstgen::Binary(text.begin(), text.end());
}

constexpr std::uint16_t kContentId = 0x3712;
constexpr std::uint16_t kContentLocation = 0x3713;
constexpr std::uint16_t kAttachFlags = 0x3714;
constexpr std::uint16_t kHidden = 0x7FFE;
constexpr std::int32_t kByReference = 2;

// Inbox: 1 an HTML e-mail with pictures (one hidden, two of the same name, one by location, one
// with hostile names, one never named by the body, a reference to an outside file before them
// all); 2 an HTML e-mail without pictures; 3 an HTML message kept as RTF that names a picture.
pstgen::Store PicturesStore() {
  pstgen::Store store;
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  pstgen::Message& mail = inbox.AddMessage("IPM.Note");
  mail.SetSubject(u"pictures")
      .Set(pstgen::tag::kSenderName, u"Ann Example")
      .SetHtml(
          "<html><body><p>Look:</p>"
          "<img src=\"cid:Image001.PNG@01D9\">"
          "<img src=\"cid:second@x\">"
          "<table background=\"http://example.com/bg.gif\"><tr><td>cell</td></tr></table>"
          "<img src=\"cid:../../x\">"
          "<img src=\"cid:%22%3E%3Cscript%3E\">"
          "</body></html>");
  mail.AddAttachment(u"outside.doc", {}).Set(pstgen::tag::kAttachMethod, kByReference);
  mail.AddAttachment(u"image.png", Bytes("first picture"))
      .Set(kContentId, u"<image001.png@01d9>")
      .Set(kAttachFlags, std::int32_t{4})
      .Set(kHidden, true);
  mail.AddAttachment(u"image.png", Bytes("second picture")).Set(kContentId, u"second@x");
  mail.AddAttachment(u"bg.gif", Bytes("GIF89a background"))
      .Set(kContentLocation, u"http://example.com/bg.gif");
  mail.AddAttachment(u"../../evil\"><script>.png", Bytes("hostile name"))
      .Set(kContentId, u"../../x");
  mail.AddAttachment(u"quote.png", Bytes("hostile id")).Set(kContentId, u"\"><script>");
  mail.AddAttachment(u"unused.png", Bytes("never shown")).Set(kContentId, u"unused@x");

  inbox.AddMessage("IPM.Note")
      .SetSubject(u"plain html")
      .Set(pstgen::tag::kSenderName, u"Bo Example")
      .SetHtml("<html><body><p>No pictures</p></body></html>");

  pstgen::Message& wrapped = inbox.AddMessage("IPM.Note");
  wrapped.SetSubject(u"html in rtf")
      .Set(pstgen::tag::kSenderName, u"Cy Example")
      .SetRtf(
          "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\r\n"
          "{\\*\\htmltag19 <html>}{\\*\\htmltag50 <body>}Wrapped"
          "{\\*\\htmltag84 <img src=\"cid:image001.png@01D9\">}"
          "{\\*\\htmltag58 </body>}{\\*\\htmltag27 </html>}}");
  wrapped.AddAttachment(u"image001.png", Bytes("wrapped picture"))
      .Set(kContentId, u"image001.png@01D9");
  return store;
}

class ClickWithPictures : public ::testing::Test {
 protected:
  void SetUp() override {
    pst_ = dir_.path() / "pictures.pst";
    pstgen::Write(PicturesStore(), pst_);
    ASSERT_TRUE(PrepareScan(state_, FromPath(pst_), FromPath(dir_.path() / "QelTemp")).ok());
    state_.root_tree_item = window_.InsertTreeItem(kNoTreeItem, state_.paths.pst_path, u"");
    ASSERT_TRUE(RunScanWorker(state_));
    for (const FolderNode& node : state_.folder_nodes) {
      if (node.FolderPath().ends_with(u"/Inbox")) {
        ASSERT_TRUE(RunFolderLoad(state_, node.tree_item).ok());
      }
    }
    ASSERT_EQ(window_.Rows().size(), 3u);
  }

  // Clicks the row at `position`; the body file the frameset shows, or empty.
  std::filesystem::path Click(std::size_t position) {
    window_.ClearCalls();
    if (OnClickItemList(state_, FirstSelectedRow(window_.Rows(), {position})) != 1) return {};
    const std::string frameset = Utf16File(Temp("email.html"));
    const std::string marker = "<frame src='file://";
    const std::size_t second = frameset.find(marker, frameset.find(marker) + 1);
    if (second == std::string::npos) return {};
    const std::size_t start = second + marker.size();
    return frameset.substr(start, frameset.find('\'', start) - start);
  }

  std::filesystem::path Temp(std::string_view name) const {
    return ToPath(state_.paths.temp_folder_path) / name;
  }
  std::filesystem::path Picture(std::string_view name) const {
    return Temp(ToUtf8(kInlinePicturesFolder)) / name;
  }
  std::string PictureUrl(std::string_view name) const {
    return ToUtf8(FileUrl(FromPath(Picture(name))));
  }

  test::TempDir dir_;
  std::filesystem::path pst_;
  test::RecordingWindow window_;
  AppState state_{window_};
};

TEST_F(ClickWithPictures, TheBodyShowsThePicturesWrittenFromItsAttachments) {
  const std::filesystem::path body = Click(0);
  ASSERT_EQ(body, Temp("htmlbody.html"));
  const std::string page = ReadFile(body);
  EXPECT_NE(page.find("<img src=\"" + PictureUrl("image.png") + "\">"), std::string::npos);
  EXPECT_NE(page.find("<img src=\"" + PictureUrl("image (2).png") + "\">"), std::string::npos);
  EXPECT_NE(page.find("background=\"" + PictureUrl("bg.gif") + "\""), std::string::npos);
  EXPECT_EQ(page.find("cid:Image001"), std::string::npos);
  EXPECT_EQ(page.find("cid:second"), std::string::npos);
  // Each file holds its own attachment's bytes, though the two share a stored name.
  EXPECT_EQ(ReadFile(Picture("image.png")), "first picture");
  EXPECT_EQ(ReadFile(Picture("image (2).png")), "second picture");
  EXPECT_EQ(ReadFile(Picture("bg.gif")), "GIF89a background");
  EXPECT_FALSE(std::filesystem::exists(Picture("unused.png")));
  // The body file of the listing keeps its references; the attachment row lists every file.
  const auto record = state_.row_records.FindEmail(1, u"Ann Example");
  ASSERT_TRUE(record);
  EXPECT_NE(ReadFile(ToPath(record->body_file_path)).find("cid:Image001.PNG@01D9"),
            std::string::npos);
  const std::string header = Utf16File(Temp("header.html"));
  EXPECT_EQ(header.find("outside.doc"), std::string::npos);  // no content, no entry
  EXPECT_NE(header.find("image.png;"), std::string::npos);
  EXPECT_NE(header.find("unused.png;"), std::string::npos);
  EXPECT_TRUE(window_.StatusTexts().empty());
}

TEST_F(ClickWithPictures, HostileNamesAndIdsStayInsideThePicturesFolder) {
  const std::filesystem::path body = Click(0);
  const std::string page = ReadFile(body);
  // The name's separators are replaced and its quote and brackets percent-encoded in the URL.
  const std::string hostile = ".._.._evil\"><script>.png";
  EXPECT_EQ(ReadFile(Picture(hostile)), "hostile name");
  EXPECT_NE(page.find("<img src=\"" + PictureUrl(hostile) + "\">"), std::string::npos);
  EXPECT_NE(PictureUrl(hostile).find("%22%3E%3Cscript%3E"), std::string::npos);
  EXPECT_EQ(ReadFile(Picture("quote.png")), "hostile id");
  EXPECT_NE(page.find("<img src=\"" + PictureUrl("quote.png") + "\">"), std::string::npos);
  EXPECT_EQ(page.find("<script"), std::string::npos);
  // Nothing lands beside the temp folder or above it.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path())) {
    const std::string name = entry.path().filename().string();
    if (name.find("evil") != std::string::npos || name == "x") {
      EXPECT_EQ(entry.path().parent_path(), Temp(ToUtf8(kInlinePicturesFolder))) << entry.path();
    }
  }
}

TEST_F(ClickWithPictures, EachClickShowsOnlyItsOwnPictures) {
  ASSERT_EQ(Click(0), Temp("htmlbody.html"));
  // Without pictures the body file itself is shown.
  const std::filesystem::path plain = Click(1);
  EXPECT_EQ(plain.filename().string().substr(0, 2), "Me");
  EXPECT_NE(ReadFile(plain).find("No pictures"), std::string::npos);

  // An HTML message kept as RTF names its picture too; the folder then holds that one alone.
  const std::filesystem::path wrapped = Click(2);
  ASSERT_EQ(wrapped, Temp("htmlbody.html"));
  EXPECT_NE(ReadFile(wrapped).find("<img src=\"" + PictureUrl("image001.png") + "\">"),
            std::string::npos);
  EXPECT_EQ(ReadFile(Picture("image001.png")), "wrapped picture");
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator(Temp(ToUtf8(kInlinePicturesFolder)))) {
    ++files;
  }
  EXPECT_EQ(files, 1u);
}

TEST_F(ClickWithPictures, PicturesThatCannotBeWrittenAreNamedInTheStatusText) {
  auto record = state_.row_records.FindEmail(1, u"Ann Example");
  ASSERT_TRUE(record);
  // The same record for a message the store does not hold.
  record->number = 99;
  record->message_nid = 0x7FFFFFE4;
  state_.row_records.Append(*record);
  window_.ClearCalls();
  ASSERT_EQ(OnClickItemList(state_, ClickedRow{u"99", u"email", u"Ann Example"}), 1);
  const std::vector<std::u16string> status = window_.StatusTexts();
  ASSERT_EQ(status.size(), 1u);
  EXPECT_TRUE(status[0].starts_with(u"Some pictures of this e-mail could not be shown: "))
      << ToUtf8(status[0]);
  // The body still shows, its references pointing where the pictures would be.
  EXPECT_NE(ReadFile(Temp("htmlbody.html")).find(PictureUrl("image.png")), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(Picture("image.png")));
}

TEST_F(ClickWithPictures, TheCommandLinePreviewWritesThePicturesToo) {
  const std::string cli = std::string(BRINDLEMOOR_BINARY_DIR) + "/cli/brindlemoor-cli";
  if (!std::filesystem::exists(cli)) GTEST_SKIP() << "brindlemoor-cli is not built";
  const std::filesystem::path temp = dir_.path() / "cli";
  std::filesystem::create_directories(temp);
  const auto shown = test::Run(test::Quote(cli) + " preview " + test::Quote(pst_.string()) +
                               " '/Top of Personal Folders/Inbox' 1 --temp " +
                               test::Quote(temp.string()) + " 2>/dev/null");
  ASSERT_EQ(shown.exit_code, 0);
  const std::filesystem::path run = std::filesystem::path(shown.output).parent_path();
  EXPECT_EQ(ReadFile(run / "inline-parts" / "image (2).png"), "second picture");
  EXPECT_NE(ReadFile(run / "htmlbody.html").find("inline-parts/image%20%282%29.png"),
            std::string::npos);
}

}  // namespace
}  // namespace bm

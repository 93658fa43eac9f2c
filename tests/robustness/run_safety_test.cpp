// brindlemoor-cli attacked through its names, its temp folder and its destination: no name is
// ever split into other paths, every run works in a private folder of its own that nobody can
// plant links in, and a destination or temp disk that cannot take the run is said so, naming
// it, before anything is passed off as written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "robustness/small_disk.h"
#include "support/test_support.h"
#include "tools/pstgen/pstgen.h"

namespace bm::robust {
namespace {

namespace fs = std::filesystem;

fs::path Cli() {
  return fs::path(BRINDLEMOOR_BINARY_DIR) / "cli" / "brindlemoor-cli";
}

// The bytes of a text as UTF-16LE, as MSG files store names.
std::string Utf16Bytes(std::u16string_view text) {
  std::string bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

bool Contains(const std::string& haystack, std::string_view needle) {
  return haystack.find(needle) != std::string::npos;
}

std::vector<fs::path> FilesUnder(const fs::path& root, std::string_view extension = "") {
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file() && (extension.empty() || it->path().extension() == extension)) {
      files.push_back(it->path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> NamesIn(const fs::path& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class RunSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(Cli())) GTEST_SKIP() << Cli() << " is not built";
    fs::create_directories(temp());
  }

  fs::path temp() const { return work_.path() / "temp"; }
  fs::path dest() const { return work_.path() / "dest"; }
  fs::path Input(const std::string& name) const { return input_.path() / name; }

  // One mail per (subject, body, attachment name, attachment content).
  fs::path MailStore(const std::string& file, const std::u16string& tag, int mails,
                     const std::u16string& attachment_name = u"note.txt") {
    pstgen::Store store(u"Store " + tag);
    pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
    for (int i = 1; i <= mails; ++i) {
      const std::string n = std::to_string(i);
      inbox.AddMessage("IPM.Note")
          .SetSubject(u"Mail " + tag + FromUtf8(n))
          .SetBody(u"body of " + tag + FromUtf8(n))
          .AddAttachment(attachment_name, pstgen::Bytes("content of " + ToUtf8(tag) + n));
    }
    const fs::path pst = Input(file);
    pstgen::Write(store, pst);
    return pst;
  }

  test::CommandResult Run(const std::string& arguments, const fs::path& temp_dir) const {
    return test::Run("cd " + test::Quote(input_.path().string()) + " && " +
                     test::Quote(Cli().string()) + " " + arguments + " --temp " +
                     test::Quote(temp_dir.string()) + " 2>&1");
  }
  test::CommandResult Convert(const fs::path& pst, const fs::path& temp_dir) const {
    return Run("convert " + test::Quote(pst.string()) + " " + test::Quote(dest().string()),
               temp_dir);
  }

  test::TempDir work_;
  test::TempDir input_;
};

// ---- Names ------------------------------------------------------------------------------

TEST_F(RunSafety, ASemicolonInAnAttachmentNameNeverOpensAnotherFile) {
  std::ofstream(Input("SECRET.txt")) << "TOP SECRET FROM THE CURRENT DIRECTORY";
  const fs::path pst = MailStore("names.pst", u"N", 1, u"x;SECRET.txt");
  const test::CommandResult result = Convert(pst, temp());
  ASSERT_EQ(result.exit_code, 0) << result.output;
  const std::vector<fs::path> msgs = FilesUnder(dest(), ".msg");
  ASSERT_EQ(msgs.size(), 1u) << result.output;
  const std::string msg = test::ReadFile(msgs[0]);
  EXPECT_TRUE(Contains(msg, "content of N1"));
  EXPECT_TRUE(Contains(msg, Utf16Bytes(u"x;SECRET.txt")));
  EXPECT_FALSE(Contains(msg, "TOP SECRET"));
}

TEST_F(RunSafety, ASemicolonInTheTempPathKeepsEveryAttachment) {
  const fs::path odd_temp = work_.path() / "temp;with;semicolons";
  const fs::path pst = MailStore("semi.pst", u"S", 2);
  const test::CommandResult result = Convert(pst, odd_temp);
  ASSERT_EQ(result.exit_code, 0) << result.output;
  const std::vector<fs::path> msgs = FilesUnder(dest(), ".msg");
  ASSERT_EQ(msgs.size(), 2u) << result.output;
  EXPECT_TRUE(Contains(test::ReadFile(msgs[0]), "content of S1"));
  EXPECT_TRUE(Contains(test::ReadFile(msgs[1]), "content of S2"));
}

// ---- Temp folder --------------------------------------------------------------------------

TEST_F(RunSafety, ARunLeavesOnlyItsLogInTheTempDirectory) {
  const fs::path pst = MailStore("tidy.pst", u"T", 2);
  ASSERT_EQ(Convert(pst, temp()).exit_code, 0);
  const std::vector<std::string> names = NamesIn(temp());
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(names[0].starts_with("log-data-")) << names[0];
  EXPECT_TRUE(Contains(test::ReadFile(temp() / names[0]), "Scanning completed"));
  struct stat info {};
  ASSERT_EQ(::stat((temp() / names[0]).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(RunSafety, APlantedQelTempLinkIsNeverFollowed) {
  const fs::path victim = work_.path() / "home";
  fs::create_directory(victim);
  std::ofstream(victim / ".bashrc") << "the user's own file";
  fs::create_directory_symlink(victim, temp() / "QelTemp");
  const fs::path pst = MailStore("planted.pst", u"P", 1, u".bashrc");
  const test::CommandResult result = Convert(pst, temp());
  ASSERT_EQ(result.exit_code, 0) << result.output;
  EXPECT_EQ(test::ReadFile(victim / ".bashrc"), "the user's own file");
  EXPECT_EQ(NamesIn(victim), std::vector<std::string>{".bashrc"});
  EXPECT_TRUE(fs::is_symlink(temp() / "QelTemp"));  // not the run's: left alone
}

TEST_F(RunSafety, ConcurrentRunsKeepTheirOwnBodiesAttachmentsAndDestinations) {
  constexpr int kMails = 6;
  const fs::path first = MailStore("first.pst", u"A", kMails);
  const fs::path second = MailStore("second.pst", u"B", kMails);
  const std::string cli = test::Quote(Cli().string());
  const std::string to = test::Quote(dest().string()) + " --temp " + test::Quote(temp().string());
  // Two conversions and a scan of another store at once, all with the same --temp.
  const test::CommandResult result = test::Run(
      "(" + cli + " convert " + test::Quote(first.string()) + " " + to +
      " >/dev/null 2>&1; echo A$?) & (" + cli + " convert " + test::Quote(second.string()) + " " +
      to + " >/dev/null 2>&1; echo B$?) & (" + cli + " scan " + test::Quote(second.string()) +
      " --temp " + test::Quote(temp().string()) + " >/dev/null 2>&1; echo C$?) & wait");
  EXPECT_TRUE(Contains(result.output, "A0")) << result.output;
  EXPECT_TRUE(Contains(result.output, "B0")) << result.output;
  EXPECT_TRUE(Contains(result.output, "C0")) << result.output;

  const std::vector<std::string> roots = NamesIn(dest());
  ASSERT_EQ(roots.size(), 2u);
  int seen_a = 0;
  int seen_b = 0;
  for (const std::string& root : roots) {
    const std::vector<fs::path> msgs = FilesUnder(dest() / root, ".msg");
    ASSERT_EQ(msgs.size(), static_cast<std::size_t>(kMails)) << root;
    const bool is_a = msgs[0].filename().string().starts_with("Mail A");
    for (const fs::path& msg : msgs) {
      const std::string bytes = test::ReadFile(msg);
      const std::string n = msg.filename().string().substr(6, 1);  // "Mail A3--3.msg"
      const std::string tag = is_a ? "A" : "B";
      const std::string other = is_a ? "B" : "A";
      EXPECT_TRUE(Contains(bytes, Utf16Bytes(FromUtf8("body of " + tag + n)))) << msg;
      EXPECT_TRUE(Contains(bytes, "content of " + tag + n)) << msg;
      EXPECT_FALSE(Contains(bytes, Utf16Bytes(FromUtf8("body of " + other)))) << msg;
      EXPECT_FALSE(Contains(bytes, "content of " + other)) << msg;
    }
    (is_a ? seen_a : seen_b)++;
  }
  EXPECT_EQ(seen_a, 1);
  EXPECT_EQ(seen_b, 1);
}

// An e-mail's MSG file is copied from the store straight into the destination: a full temp
// disk costs the conversion nothing.
TEST_F(RunSafety, AFullTempDiskDoesNotCostAConversionAnything) {
  const SmallDisk disk(temp(), "256k");
  BM_MOUNT_OR_SKIP(disk);
  pstgen::Store store(u"Big bodies");
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  inbox.AddMessage("IPM.Note").SetSubject(u"Huge").SetBody(std::u16string(300000, u'x'));
  const fs::path pst = Input("big.pst");
  pstgen::Write(store, pst);
  const test::CommandResult result = Convert(pst, temp());
  EXPECT_EQ(result.exit_code, 0) << result.output;
  EXPECT_FALSE(Contains(result.output, "FAILED")) << result.output;
  const auto written = FilesUnder(dest(), ".msg");
  ASSERT_EQ(written.size(), 1u);
  EXPECT_GT(fs::file_size(written.front()), 600000u);  // the whole UTF-16 body
}

TEST_F(RunSafety, PreviewOnAFullTempDiskFailsInsteadOfShowingAPageCutShort) {
  const SmallDisk disk(temp(), "256k");
  BM_MOUNT_OR_SKIP(disk);
  pstgen::Store store(u"Big bodies");
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  inbox.AddMessage("IPM.Note").SetSubject(u"Huge").SetBody(std::u16string(300000, u'x'));
  const fs::path pst = Input("big.pst");
  pstgen::Write(store, pst);
  const test::CommandResult result =
      test::Run(test::Quote(Cli().string()) + " preview " + test::Quote(pst.string()) +
                " '/Top of Personal Folders/Inbox' 1 --temp " + test::Quote(temp().string()) +
                " 2>/dev/null");
  EXPECT_EQ(result.exit_code, 1) << result.output;
  EXPECT_EQ(result.output, "");
}

TEST_F(RunSafety, PreviewIntoAnUnusableTempDirectoryFailsWithTheReason) {
  const fs::path pst = MailStore("preview.pst", u"V", 1);
  const fs::path file = work_.path() / "a-file";
  std::ofstream(file) << "x";
  const test::CommandResult on_file =
      Run("preview " + test::Quote(pst.string()) + " '/Top of Personal Folders/Inbox' 1", file);
  EXPECT_EQ(on_file.exit_code, 1) << on_file.output;
  EXPECT_TRUE(Contains(on_file.output, file.string())) << on_file.output;
  EXPECT_FALSE(Contains(on_file.output, "QelTemp")) << on_file.output;

  const SmallDisk disk(temp(), "1m");
  BM_MOUNT_OR_SKIP(disk);
  ASSERT_TRUE(disk.MakeReadOnly());
  const test::CommandResult read_only =
      Run("preview " + test::Quote(pst.string()) + " '/Top of Personal Folders/Inbox' 1", temp());
  EXPECT_EQ(read_only.exit_code, 1) << read_only.output;
  EXPECT_TRUE(Contains(read_only.output, "Read-only file system")) << read_only.output;
}

// ---- Destination --------------------------------------------------------------------------

TEST_F(RunSafety, AnUnusableDestinationIsRefusedBeforeTheRun) {
  const fs::path pst = MailStore("dest.pst", u"D", 1);
  const fs::path file = work_.path() / "a-file";
  std::ofstream(file) << "x";
  const std::string quoted_pst = test::Quote(pst.string());
  for (const fs::path& destination : {file, file / "below"}) {
    const test::CommandResult result =
        Run("convert " + quoted_pst + " " + test::Quote(destination.string()), temp());
    EXPECT_EQ(result.exit_code, 1) << result.output;
    EXPECT_FALSE(Contains(result.output, "Destination:")) << result.output;
    EXPECT_FALSE(Contains(result.output, "FAILED")) << result.output;
    EXPECT_TRUE(Contains(result.output, "the destination " + destination.string()))
        << result.output;
  }
  EXPECT_EQ(test::ReadFile(file), "x");

  fs::create_directory(dest());
  const SmallDisk disk(dest(), "1m");
  BM_MOUNT_OR_SKIP(disk);
  ASSERT_TRUE(disk.MakeReadOnly());
  const test::CommandResult read_only =
      Run("convert " + quoted_pst + " " + test::Quote(dest().string()), temp());
  EXPECT_EQ(read_only.exit_code, 1) << read_only.output;
  EXPECT_FALSE(Contains(read_only.output, "Destination:")) << read_only.output;
  EXPECT_TRUE(Contains(read_only.output, "cannot be written")) << read_only.output;
}

TEST_F(RunSafety, AttachmentsOfTextItemsLandBesideTheirFileAndOutliveTheRun) {
  pstgen::Store store(u"Calendar");
  pstgen::Folder& calendar = store.top().AddFolder(u"Calendar", u"IPF.Appointment");
  for (const std::u16string subject : {u"Standup", u"Review"}) {
    pstgen::Message& meeting = calendar.AddMessage("IPM.Appointment");
    meeting.SetSubject(subject);
    meeting.AddAttachment(u"agenda.txt", pstgen::Bytes("agenda of " + ToUtf8(subject)));
    meeting.AddAttachment(u"../agenda.txt", pstgen::Bytes("second of " + ToUtf8(subject)));
  }
  pstgen::Folder& contacts = store.top().AddFolder(u"Contacts", u"IPF.Contact");
  contacts.AddMessage("IPM.Contact")
      .SetSubject(u"Ann")
      .AddAttachment(u"photo.jpg", pstgen::Bytes("jpeg"));
  const fs::path pst = Input("calendar.pst");
  pstgen::Write(store, pst);
  const test::CommandResult result = Convert(pst, temp());
  ASSERT_EQ(result.exit_code, 0) << result.output;

  const std::vector<std::string> roots = NamesIn(dest());
  ASSERT_EQ(roots.size(), 1u);
  const fs::path folder = dest() / roots[0] / "Top-of-Personal-Folders" / "Calendar";
  EXPECT_EQ(test::ReadFile(folder / "Standup--1 agenda.txt"), "agenda of Standup");
  EXPECT_EQ(test::ReadFile(folder / "Standup--1 .._agenda.txt"), "second of Standup");
  EXPECT_EQ(test::ReadFile(folder / "Review--2 agenda.txt"), "agenda of Review");
  const std::string text = test::ReadFile(folder / "Standup--1.txt");
  EXPECT_TRUE(
      Contains(text, Utf16Bytes(u"Attachment:\t\t" + FromPath(folder) + u"/Standup--1 agenda.txt;" +
                                FromPath(folder) + u"/Standup--1 .._agenda.txt;\r\n")))
      << ToUtf8(FromPath(folder));
  EXPECT_FALSE(Contains(text, Utf16Bytes(FromPath(temp()))));
  const fs::path contact_folder = dest() / roots[0] / "Top-of-Personal-Folders" / "Contacts";
  EXPECT_EQ(test::ReadFile(contact_folder / "Ann--1 photo.jpg"), "jpeg");
  EXPECT_TRUE(Contains(
      test::ReadFile(contact_folder / "Ann--1.txt"),
      Utf16Bytes(u"Attachment:\t\t" + FromPath(contact_folder) + u"/Ann--1 photo.jpg;\r\n")));
  // Nothing of the run is left in the temp directory but its log.
  for (const std::string& name : NamesIn(temp())) EXPECT_TRUE(name.starts_with("log-data-"));
}

}  // namespace
}  // namespace bm::robust

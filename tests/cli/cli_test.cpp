// brindlemoor-cli as a user runs it: output, exit status, and what it leaves on disk.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>
#include <vector>

#include "base/text.h"
#include "support/test_support.h"
#include "tools/pstgen/pstgen.h"

extern char** environ;

namespace bm {
namespace {

namespace fs = std::filesystem;

constexpr std::uint16_t kSenderName = 0x0C1A;

bool Contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

std::vector<fs::path> FilesBelow(const fs::path& root) {
  std::vector<fs::path> files;
  if (!fs::exists(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  return files;
}

class CliTest : public ::testing::Test {
 protected:
  // Runs the tool with `arguments` and the test's working folder; standard error is kept.
  test::CommandResult Cli(const std::string& arguments) {
    return Raw(arguments + " --temp " + test::Quote(temp.path().string()));
  }
  // Runs the tool with exactly `arguments`.
  test::CommandResult Raw(const std::string& arguments, const std::string& prefix = "") {
    return test::Run(prefix + std::string(BRINDLEMOOR_CLI) + " " + arguments + " 2>" +
                     test::Quote(StderrPath().string()));
  }
  fs::path StderrPath() const { return temp.path() / "stderr.txt"; }
  std::string Stderr() const { return test::ReadFile(StderrPath()); }

  fs::path Write(const pstgen::Store& store, const std::string& name) {
    const fs::path pst = data.path() / name;
    pstgen::Write(store, pst);
    return pst;
  }

  fs::path SmallStore() {
    pstgen::Store store(u"Small");
    pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
    inbox.AddMessage("IPM.Note").SetSubject(u"Hello").SetBody(u"Body");
    inbox.AddFolder(u"Sub \u00e9", u"IPF.Note");
    return Write(store, "small.pst");
  }

  // A chain of folders L2 .. L30 under the top folder, one message in each of the last four.
  fs::path DeepStore() {
    pstgen::Store store(u"Deep");
    pstgen::Folder* folder = &store.top();
    for (int depth = 2; depth <= 30; ++depth) {
      const std::u16string name = u"L" + FromUtf8(std::to_string(depth));
      folder = &folder->AddFolder(name, u"IPF.Note");
      if (depth > 26) folder->AddMessage("IPM.Note").SetSubject(u"At " + name);
    }
    return Write(store, "deep.pst");
  }

  test::TempDir temp;
  test::TempDir data;
};

TEST_F(CliTest, ScanPrintsPositionsDepthsKindsAndCounts) {
  const auto result = Cli("scan " + test::Quote(SmallStore().string()));
  ASSERT_EQ(result.exit_code, 0) << Stderr();
  EXPECT_TRUE(Contains(result.output, "\n1   Top of Personal Folders  [folder, 0 messages]\n"))
      << result.output;
  EXPECT_TRUE(Contains(result.output, "\n3     Inbox  [email, 1 messages]\n"));
  EXPECT_TRUE(Contains(result.output, "\n4       Sub \xc3\xa9  [email, 0 messages]\n"));
  // The position printed is the one FOLDER accepts.
  const auto listed = Cli("list " + test::Quote(SmallStore().string()) + " 3");
  ASSERT_EQ(listed.exit_code, 0) << Stderr();
  EXPECT_TRUE(Contains(listed.output, "\temail\t"));
  EXPECT_TRUE(Contains(listed.output, "\tHello\t"));
}

TEST_F(CliTest, JsonOutputsHaveTheirShapesAndEndWithANewline) {
  const std::string pst = test::Quote(SmallStore().string());
  const auto scan = Cli("scan --json " + pst);
  ASSERT_EQ(scan.exit_code, 0) << Stderr();
  EXPECT_EQ(scan.output.front(), '[');
  EXPECT_TRUE(scan.output.ends_with("]\n"));
  EXPECT_TRUE(Contains(scan.output,
                       "{\"position\": 3, \"name\": \"Inbox\", \"depth\": 2, "
                       "\"relative_folder_path\": \"/Top of Personal Folders\", \"folder_path\": "
                       "\"/Top of Personal Folders/Inbox\", \"kind\": \"email\", \"messages\": 1}"))
      << scan.output;

  const auto list = Cli("list --json " + pst + " '/Top of Personal Folders/Inbox'");
  ASSERT_EQ(list.exit_code, 0) << Stderr();
  EXPECT_TRUE(list.output.starts_with("[\n  {\"no\": \"1\", \"items\": \"email\", \"from\": "))
      << list.output;
  EXPECT_TRUE(Contains(list.output, "\"subject\": \"Hello\", \"date_time\": "));
  EXPECT_TRUE(list.output.ends_with("}\n]\n"));
  const auto empty = Cli("list --json " + pst + " 4");
  EXPECT_EQ(empty.output, "[]\n");

  const fs::path out = data.path() / "out";
  const auto convert = Cli("convert --json " + pst + " " + test::Quote(out.string()));
  ASSERT_EQ(convert.exit_code, 0) << Stderr();
  EXPECT_TRUE(convert.output.starts_with("{\"destination\": \"" + out.string() + "/convertPSTFile"))
      << convert.output;
  EXPECT_TRUE(Contains(convert.output,
                       "\"written\": {\"email\": 1},\n \"skipped\": {},\n"
                       " \"failed\": [],\n \"stopped_by\": null,\n"
                       " \"exit_status\": 0}\n"))
      << convert.output;
}

TEST_F(CliTest, ConvertWritesTheTreeAndSummarises) {
  const fs::path out = data.path() / "out";
  const auto result = Cli("convert " + test::Quote(SmallStore().string()) + " " +
                          test::Quote(out.string()) + " --folder '/Top of Personal Folders/Inbox'");
  ASSERT_EQ(result.exit_code, 0) << Stderr() << result.output;
  EXPECT_TRUE(Contains(result.output, "Destination: " + out.string() + "/convertPSTFile"))
      << result.output;
  int messages = 0;
  for (const fs::path& file : FilesBelow(out)) messages += file.extension() == ".msg";
  EXPECT_EQ(messages, 1);
}

// --format eml: an .eml file wherever an .msg file would be, by the same names and numbers,
// in the same report; text items stay text files.
TEST_F(CliTest, ConvertAsEmlWritesEmlFilesWhereMsgFilesWouldBe) {
  pstgen::Store store(u"Eml");
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  inbox.AddMessage("IPM.Note").SetSubject(u"Re: a/b").SetBody(u"First body");
  inbox.AddMessage("IPM.Note").SetSubject(u"Re: a/b").SetBody(u"Second body");
  inbox.AddMessage("IPM.Schedule.Meeting.Request").SetSubject(u"Meet").SetBody(u"Let us meet");
  store.top().AddFolder(u"Contacts", u"IPF.Contact").AddMessage("IPM.Contact").SetSubject(u"Ann");
  const fs::path pst = Write(store, "eml.pst");
  const fs::path out = data.path() / "out";
  const auto result = Cli("convert " + test::Quote(pst.string()) + " " + test::Quote(out.string()) +
                          " --format eml");
  ASSERT_EQ(result.exit_code, 0) << result.output << Stderr();
  EXPECT_TRUE(Contains(result.output, "written  email        2\n")) << result.output;
  EXPECT_TRUE(Contains(result.output, "written  IPM.Schedule.Meeting.Request 1\n"))
      << result.output;
  EXPECT_TRUE(Contains(result.output, "written  contact      1\n")) << result.output;
  std::map<std::string, fs::path> files;
  for (const fs::path& file : FilesBelow(out)) files[file.filename().string()] = file;
  for (const auto& [name, file] : files) EXPECT_NE(file.extension(), ".msg") << file;
  ASSERT_EQ(files.count("Re  a b--1.eml"), 1u) << result.output;
  ASSERT_EQ(files.count("Re  a b--2.eml"), 1u);
  ASSERT_EQ(files.count("Meet--3.eml"), 1u);
  EXPECT_EQ(std::count_if(files.begin(), files.end(),
                          [](const auto& file) { return file.second.extension() == ".txt"; }),
            1);
  EXPECT_EQ(files["Re  a b--1.eml"].parent_path().filename(), "Inbox");
  const std::string first = test::ReadFile(files["Re  a b--1.eml"]);
  EXPECT_TRUE(Contains(first, "Subject: Re: a/b\r\n")) << first;
  EXPECT_TRUE(Contains(first, "MIME-Version: 1.0\r\n")) << first;

  // Any other format is a usage error, said before anything is read or written.
  const fs::path other = data.path() / "other";
  EXPECT_EQ(Cli("convert " + test::Quote(pst.string()) + " " + test::Quote(other.string()) +
                " --format pdf")
                .exit_code,
            64);
  EXPECT_EQ(Stderr(), "brindlemoor-cli: unknown --format 'pdf' (msg or eml)\n");
  EXPECT_FALSE(fs::exists(other));
  const auto help = Raw("convert --help");
  EXPECT_TRUE(Contains(help.output, "--format")) << help.output;
}

// The progress bar is for a person at a terminal: a log or a pipe gets the report alone.
TEST_F(CliTest, ProgressIsDrawnOnATerminalOnly) {
  const std::string pst = test::Quote(SmallStore().string());
  const auto piped = Cli("convert " + pst + " " + test::Quote((data.path() / "piped").string()));
  ASSERT_EQ(piped.exit_code, 0) << Stderr();
  for (const std::string& text : {piped.output, Stderr()}) {
    EXPECT_EQ(text.find('\r'), std::string::npos) << text;
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
    EXPECT_FALSE(Contains(text, "items/s")) << text;
  }

  if (!test::HaveProgram("script")) GTEST_SKIP() << "script (util-linux) is not installed";
  const std::string command = std::string(BRINDLEMOOR_CLI) + " convert " + pst + " " +
                              test::Quote((data.path() / "shown").string()) + " --temp " +
                              test::Quote(temp.path().string());
  const auto shown = test::Run("script -qec " + test::Quote(command) + " /dev/null");
  ASSERT_EQ(shown.exit_code, 0) << shown.output;
  // The last drawing counts the one message the ticked folders hold, and the summary starts
  // on a line of its own.
  EXPECT_TRUE(Contains(shown.output, "]  1/1  100%  ")) << shown.output;
  EXPECT_TRUE(Contains(shown.output, " left\x1b[K\r\nDestination: ")) << shown.output;
}

// Each way a path can fail to be a store: one line on standard error with its own reason,
// exit status 1, in every subcommand, and nothing written.
TEST_F(CliTest, UnusableStoresGetTheirOwnOneLineReasonInEveryCommand) {
  const fs::path text = data.path() / "notes.pst";
  std::ofstream(text) << "not a personal folder file\n";
  const fs::path empty = data.path() / "empty.pst";
  std::ofstream{empty};
  const fs::path directory = data.path() / "folder.pst";
  fs::create_directory(directory);
  const std::string whole = test::ReadFile(SmallStore());
  const fs::path cut = data.path() / "cut.pst";
  std::ofstream(cut, std::ios::binary) << whole.substr(0, whole.size() * 5 / 7);

  const std::vector<std::pair<fs::path, std::string>> inputs = {
      {data.path() / "missing.pst", "no such file"},
      {directory, "it is a directory, not a file"},
      {empty, "the file is empty"},
      {text, "it is not a PST file (it does not start with the PST signature)"},
      {cut, "the file is cut short: it has " + std::to_string(whole.size() * 5 / 7) +
                " bytes of the " + std::to_string(whole.size()) + " bytes its header gives"},
  };
  const fs::path out = data.path() / "out";
  for (const auto& [path, reason] : inputs) {
    for (const std::string command : {"scan", "list", "preview", "convert"}) {
      SCOPED_TRACE(path.filename().string() + " " + command);
      std::string arguments = command + " " + test::Quote(path.string());
      if (command == "list") arguments += " 1";
      if (command == "preview") arguments += " 1 1";
      if (command == "convert") arguments += " " + test::Quote(out.string());
      const auto result = Cli(arguments);
      EXPECT_EQ(result.exit_code, 1);
      EXPECT_EQ(result.output, "");
      EXPECT_EQ(Stderr(), "brindlemoor-cli: cannot open " + path.string() + ": " + reason + "\n");
      EXPECT_FALSE(fs::exists(out));
    }
  }
}

TEST_F(CliTest, ExitStatusesForUsageStartAndVersion) {
  const std::string pst = test::Quote(SmallStore().string());
  EXPECT_EQ(Raw("bogus " + pst).exit_code, 64);
  EXPECT_TRUE(Contains(Stderr(), "unknown subcommand 'bogus'")) << Stderr();
  EXPECT_EQ(Raw("").exit_code, 64);
  EXPECT_EQ(Raw("scan --no-such-option " + pst).exit_code, 64);
  EXPECT_EQ(Raw("list " + pst).exit_code, 64);  // FOLDER missing
  EXPECT_EQ(Raw("preview " + pst + " 3 notanumber").exit_code, 64);

  const auto version = Raw("--version");
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_TRUE(version.output.starts_with("brindlemoor-cli ")) << version.output;
  const auto help = Raw("--help");
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_TRUE(Contains(help.output, "64 usage error")) << help.output;
  EXPECT_TRUE(Contains(help.output, "143 SIGTERM"));

  // A folder or row that is not there: the command could not start.
  EXPECT_EQ(Cli("list " + pst + " '/Top of Personal Folders/Inbx'").exit_code, 1);
  EXPECT_TRUE(Contains(Stderr(), "nearest:\n  /Top of Personal Folders/Inbox")) << Stderr();
  EXPECT_EQ(Cli("list " + pst + " 99").exit_code, 1);
  EXPECT_EQ(Cli("preview " + pst + " 3 7").exit_code, 1);
  EXPECT_EQ(Stderr(), "brindlemoor-cli: the folder lists no row 7\n");
  const fs::path out = data.path() / "out";
  EXPECT_EQ(Cli("convert " + pst + " " + test::Quote(out.string()) + " --folder 99").exit_code, 1);
  EXPECT_FALSE(fs::exists(out));
}

TEST_F(CliTest, ItemsThatCannotBeWrittenAreNamedWithExitStatus2) {
  pstgen::Store store(u"Mixed");
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  inbox.AddMessage("IPM.Note").SetSubject(u"Too big").SetBody(std::u16string(200000, u'x'));
  store.top().AddFolder(u"Contacts", u"IPF.Contact").AddMessage("IPM.Contact").SetSubject(u"Ann");
  const fs::path pst = Write(store, "mixed.pst");
  const fs::path out = data.path() / "out";
  // Files may grow to a few kilobytes only: the contact fits, the e-mail does not.
  const auto result = Raw("convert " + test::Quote(pst.string()) + " " + test::Quote(out.string()) +
                              " --temp " + test::Quote(temp.path().string()),
                          "trap '' XFSZ; ulimit -f 16; exec ");
  EXPECT_EQ(result.exit_code, 2) << result.output << Stderr();
  EXPECT_TRUE(Contains(result.output, "written  contact      1\n")) << result.output;
  EXPECT_TRUE(Contains(result.output, "/Top-of-Personal-Folders/Inbox/Too big: ")) << result.output;
  for (const fs::path& file : FilesBelow(out)) {
    EXPECT_NE(file.extension(), ".msg") << file;
    EXPECT_FALSE(file.filename().string().starts_with(".bm")) << file;
  }
  // The JSON report ties the failure to the item's target folder and number, by which its
  // files are named.
  const auto json = Raw("convert --json " + test::Quote(pst.string()) + " " +
                            test::Quote((data.path() / "out-json").string()) + " --temp " +
                            test::Quote(temp.path().string()),
                        "trap '' XFSZ; ulimit -f 16; exec ");
  EXPECT_EQ(json.exit_code, 2) << json.output << Stderr();
  EXPECT_TRUE(Contains(json.output, "/Top-of-Personal-Folders/Inbox\", \"number\": 1}"))
      << json.output;
}

TEST_F(CliTest, PreviewTextPrintsTheHeaderAndTheBody) {
  pstgen::Store store(u"Preview");
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  inbox.AddMessage("IPM.Note")
      .SetSubject(u"Plans")
      .Set(kSenderName, u"Ann Example")
      .SetBody(u"First line\r\nsecond \x1b[2J line\r\n");
  inbox.AddMessage("IPM.Note").SetSubject(u"Styled").SetHtml("<p>Hello <b>there</b></p>");
  const std::string pst = test::Quote(Write(store, "preview.pst").string());

  const auto plain = Cli("preview --text " + pst + " 3 1");
  ASSERT_EQ(plain.exit_code, 0) << Stderr();
  EXPECT_TRUE(Contains(plain.output, "Subject: Plans")) << plain.output;
  EXPECT_TRUE(Contains(plain.output, "Ann Example"));
  EXPECT_TRUE(plain.output.ends_with("\n\nFirst line\nsecond \xe2\x90\x9b[2J line\n"))
      << plain.output;
  const auto html = Cli("preview --text " + pst + " 3 2");
  ASSERT_EQ(html.exit_code, 0) << Stderr();
  EXPECT_TRUE(Contains(html.output, "Subject: Styled"));
  EXPECT_TRUE(Contains(html.output, "\n\nHello there")) << html.output;
  // Without --text: the page the browser would show.
  const auto page = Cli("preview " + pst + " 3 1");
  ASSERT_EQ(page.exit_code, 0);
  EXPECT_TRUE(fs::exists(page.output.substr(0, page.output.size() - 1))) << page.output;
}

TEST_F(CliTest, ControlCharactersFromTheStoreArePrintedVisibly) {
  pstgen::Store store(u"Hostile");
  pstgen::Folder& inbox = store.top().AddFolder(u"In\u202Ebox", u"IPF.Note");
  inbox.AddMessage("IPM.Note")
      .SetSubject(u"Bell\u0007 and\ttab")
      .Set(kSenderName, u"\u001b]0;owned\u0007Eve\u001b[31m\u009b");
  const std::string pst = test::Quote(Write(store, "hostile.pst").string());

  const auto list = Cli("list " + pst + " 3");
  ASSERT_EQ(list.exit_code, 0) << Stderr();
  for (const char raw : {'\x1b', '\x07', '\r'}) EXPECT_EQ(list.output.find(raw), std::string::npos);
  EXPECT_FALSE(Contains(list.output, "\xc2\x9b"));  // U+009B, a CSI for some terminals
  EXPECT_TRUE(Contains(list.output,
                       "\xe2\x90\x9b]0;owned\xe2\x90\x87"
                       "Eve\xe2\x90\x9b[31m<U+009B>"))
      << list.output;
  // Tabs separate the columns only (the list's subject comes without its controls).
  EXPECT_TRUE(Contains(list.output, "\tBell andtab\t")) << list.output;
  const std::string row = list.output.substr(list.output.find('\n') + 1);
  EXPECT_EQ(std::count(row.begin(), row.end(), '\t'), 6);

  const auto scan = Cli("scan " + pst);
  EXPECT_TRUE(Contains(scan.output, "In<U+202E>box")) << scan.output;
  const auto json = Cli("list --json " + pst + " 3");
  EXPECT_TRUE(Contains(json.output, "\\u001b]0;owned\\u0007Eve\\u001b[31m\\u009b")) << json.output;
}

TEST_F(CliTest, FoldersDeeperThanTheDesktopTreeAreListedAndConverted) {
  const std::string pst = test::Quote(DeepStore().string());
  const auto scan = Cli("scan " + pst);
  ASSERT_EQ(scan.exit_code, 0) << Stderr();
  EXPECT_TRUE(Contains(scan.output, "\n31 " + std::string(60, ' ') + "L30  [email, 1 messages]\n"))
      << scan.output;

  const fs::path all = data.path() / "all";
  ASSERT_EQ(Cli("convert " + pst + " " + test::Quote(all.string())).exit_code, 0) << Stderr();
  std::vector<std::string> written;
  for (const fs::path& file : FilesBelow(all)) written.push_back(file.filename().string());
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"At L27--1.msg", "At L28--1.msg", "At L29--1.msg",
                                               "At L30--1.msg"}));

  // Selecting a deep folder takes it and what lies below it, nothing above.
  const fs::path some = data.path() / "some";
  ASSERT_EQ(Cli("convert " + pst + " " + test::Quote(some.string()) + " --folder 30").exit_code, 0);
  written.clear();
  for (const fs::path& file : FilesBelow(some)) written.push_back(file.filename().string());
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"At L29--1.msg", "At L30--1.msg"}));
}

// A conversion in a child process, stopped by a signal part-way.
class StoppedConversionTest : public CliTest, public ::testing::WithParamInterface<int> {
 protected:
  // Contacts first (text files), then e-mails (MSG files), more than a run gets through
  // before the signal.
  fs::path LargeStore() {
    pstgen::Store store(u"Large");
    store.top().AddFolder(u"Contacts", u"IPF.Contact").AddMessages(4000, [](std::size_t index) {
      pstgen::Message contact("IPM.Contact");
      contact.SetSubject(u"Contact " + FromUtf8(std::to_string(index)))
          .SetBody(std::u16string(3000, u'c') + u"END");
      return contact;
    });
    store.top().AddFolder(u"Inbox", u"IPF.Note").AddMessages(4000, [](std::size_t index) {
      pstgen::Message mail("IPM.Note");
      mail.SetSubject(u"Mail " + FromUtf8(std::to_string(index)))
          .SetBody(std::u16string(3000, u'm'));
      return mail;
    });
    return Write(store, "large.pst");
  }

  // Starts the conversion with its output in files; the child's process id.
  pid_t Start(const fs::path& pst, const fs::path& out) {
    const std::string cli = BRINDLEMOOR_CLI;
    const std::string stdout_path = (temp.path() / "stdout.txt").string();
    std::vector<std::string> arguments = {cli,          "convert", pst.string(),
                                          out.string(), "--temp",  temp.path().string()};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdout_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, StderrPath().c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
  }

  std::string Stdout() const { return test::ReadFile(temp.path() / "stdout.txt"); }
};

TEST_P(StoppedConversionTest, StopsCleanlyWithTheSummaryAndNoCutFiles) {
  const int signal_number = GetParam();
  const fs::path pst = LargeStore();
  const fs::path out = data.path() / "out";
  const pid_t child = Start(pst, out);
  ASSERT_GT(child, 0);
  // Signalled once items are being written, which a loaded machine may take a while to reach.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (FilesBelow(out).size() < 50 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_EQ(::kill(child, signal_number), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);

  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 128 + signal_number);
  const std::string summary = Stdout();
  EXPECT_TRUE(summary.starts_with("Destination: " + out.string())) << summary;
  EXPECT_TRUE(Contains(summary, "\nSTOPPED  by ")) << summary;

  const std::vector<fs::path> files = FilesBelow(out);
  EXPECT_GE(files.size(), 50u);
  EXPECT_LT(files.size(), 8000u);  // it did stop
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    const std::string name = file.filename().string();
    ASSERT_FALSE(name.starts_with(".bm")) << "a temporary file was left";
    const std::string bytes = test::ReadFile(file);
    if (file.extension() == ".txt") {
      // Whole: the mark at the start, the contact's body to its last character.
      ASSERT_TRUE(bytes.starts_with("\xFF\xFE"));
      ASSERT_TRUE(bytes.ends_with(std::string("E\0N\0D\0", 6)));
    } else {
      ASSERT_EQ(file.extension(), ".msg");
      ASSERT_TRUE(bytes.starts_with("\xD0\xCF\x11\xE0"));
      ASSERT_EQ(bytes.size() % 512, 0u);  // a compound file is whole sectors
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Signals, StoppedConversionTest, ::testing::Values(SIGTERM, SIGHUP),
                         [](const auto& info) {
                           return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGHUP");
                         });

}  // namespace
}  // namespace bm

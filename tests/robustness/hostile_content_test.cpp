// Content from strangers: folder names, subjects, sender and attachment names built to escape
// the destination (separators, "..", absolute paths, NUL and control characters, 10,000
// characters, reserved device names) and HTML bodies with scripts. Every file must land in the
// temp folder or the destination under a safe name, every item must still be written, and the
// preview pages must carry no live markup from the item.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "robustness/child.h"
#include "robustness/pipeline.h"
#include "robustness/seed_stores.h"
#include "support/test_support.h"
#include "tools/pstgen/pstgen.h"

namespace bm::robust {
namespace {

namespace fs = std::filesystem;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

class HostileStore : public ::testing::Test {
 protected:
  void SetUp() override {
    absolute_target_ =
        fs::temp_directory_path() / ("bm-robust-absolute-" + std::to_string(::getpid()) + "-" +
                                     std::to_string(std::random_device{}()));
    pstgen::Store store(u"Hostile store");
    BuildHostileStore(store, absolute_target_);
    pst_ = sandbox_.input() / "hostile.pst";
    pstgen::Write(store, pst_);
    run_ = RunPipelineInSandbox(sandbox_, pst_, {}, 300, outcome_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove(absolute_target_, ec);
  }

  // Messages in the hostile store: one e-mail per name in the Inbox, and a contact and a note
  // in a folder of each name.
  int ExpectedItems() const { return static_cast<int>(HostileNames(absolute_target_).size()) * 3; }

  Sandbox sandbox_;
  fs::path absolute_target_;
  fs::path pst_;
  SandboxRun run_;
  PipelineOutcome outcome_;
};

TEST_F(HostileStore, NothingIsWrittenOutsideTheTempFolderAndDestination) {
  ASSERT_TRUE(run_.child.Exited(0)) << run_.child.Describe();
  EXPECT_TRUE(run_.stray_files.empty()) << "first stray file: " << run_.stray_files.front();
  EXPECT_FALSE(fs::exists(absolute_target_)) << "an attachment named an absolute path";
}

TEST_F(HostileStore, EveryFileNameIsSafe) {
  ASSERT_TRUE(run_.child.Exited(0)) << run_.child.Describe();
  const std::vector<std::string> unsafe_temp = UnsafeNames(sandbox_.temp());
  EXPECT_TRUE(unsafe_temp.empty()) << unsafe_temp.size() << " unsafe, first " << unsafe_temp[0];
  const std::vector<std::string> unsafe_dest = UnsafeNames(sandbox_.dest());
  EXPECT_TRUE(unsafe_dest.empty()) << unsafe_dest.size() << " unsafe, first " << unsafe_dest[0];
}

TEST_F(HostileStore, EveryItemIsListedAndConverted) {
  ASSERT_TRUE(run_.have_outcome) << run_.child.Describe();
  ASSERT_TRUE(outcome_.scanned);
  EXPECT_EQ(outcome_.rows, ExpectedItems());
  ASSERT_TRUE(outcome_.converted);
  EXPECT_TRUE(outcome_.failures.empty()) << outcome_.failures.front();
  // Each item has its own file: hostile names never make two items share one.
  EXPECT_EQ(outcome_.files_on_disk, ExpectedItems());
}

TEST_F(HostileStore, ConversionReportCountsWhatReachedTheDisk) {
  ASSERT_TRUE(run_.have_outcome) << run_.child.Describe();
  ASSERT_TRUE(outcome_.converted);
  EXPECT_EQ(outcome_.written, outcome_.files_on_disk);
}

TEST_F(HostileStore, PreviewPagesCarryNoLiveMarkupFromTheItem) {
  ASSERT_TRUE(run_.have_outcome) << run_.child.Describe();
  EXPECT_EQ(outcome_.previews, outcome_.rows);
  // The pages the preview writes around an item (headers, frames, item tables) escape what
  // they insert. The HTML body file is the message's own HTML: the preview browser shows it
  // with scripts off and network requests blocked, so it is not inspected here.
  int pages = 0;
  for (const fs::path& file : FilesUnder(sandbox_.temp())) {
    const std::string text = Lower(test::ReadFile(file));
    const bool page = text.find("<html") != std::string::npos;
    if (!page || text.find("attacker.invalid/'+document.cookie") != std::string::npos) continue;
    ++pages;
    EXPECT_EQ(text.find("<script"), std::string::npos) << file;
    EXPECT_EQ(text.find("\"><"), std::string::npos) << file;
  }
  EXPECT_GT(pages, 0);
}

// Every path a traced system call names (the file names of %file calls, resolved against the
// directory handle or the current directory they are relative to), one per line of `trace`
// as `strace -f -y -s 65535` writes it. Program start-up (execve) is left out.
std::vector<std::string> TracedPaths(const fs::path& trace, const fs::path& cwd) {
  // pid, call, then either a directory handle ("AT_FDCWD</cwd>" or "3</dir>") and a quoted
  // name, or a quoted name first.
  static const std::regex kCall(
      R"re(^(?:\d+\s+)?(\w+)\((?:(?:AT_FDCWD|\d+)(?:<([^>]*)>)?,\s*)?"((?:[^"\\]|\\.)*)")re");
  std::vector<std::string> paths;
  std::ifstream in(trace);
  for (std::string line; std::getline(in, line);) {
    std::smatch call;
    if (!std::regex_search(line, call, kCall) || call[1] == "execve") continue;
    const std::string name = call[3];
    if (name.empty()) continue;  // fstatat(fd, "", AT_EMPTY_PATH) names the handle itself
    if (name.front() == '/') {
      paths.push_back(name);
    } else if (call[2].matched) {
      paths.push_back(std::string(call[2]) + "/" + name);
    } else {
      paths.push_back((cwd / name).string());
    }
  }
  return paths;
}

bool Under(const std::string& path, const fs::path& directory) {
  const std::string prefix = directory.string() + "/";
  return path == directory.string() || path.compare(0, prefix.size(), prefix) == 0;
}

// The command line, traced, touches the store, its --temp folder and its destination, and the
// system's own files; nothing else, however the store's names and attachments are made. An
// attachment name once reached the composer as part of a ';'-separated list and had a file of
// the current directory read into the output.
TEST(HostileNamesTraced, TheCommandLineTouchesOnlyTheStoreTheTempFolderAndTheDestination) {
  const fs::path cli = fs::path(BRINDLEMOOR_BINARY_DIR) / "cli" / "brindlemoor-cli";
  if (!fs::exists(cli)) GTEST_SKIP() << cli << " is not built";
  if (!test::HaveProgram("strace")) GTEST_SKIP() << "strace is not installed";
  test::TempDir dir;
  const fs::path input = dir.path() / "input";
  const fs::path temp = dir.path() / "temp";
  const fs::path out = dir.path() / "out";
  const fs::path cwd = dir.path() / "cwd";
  for (const fs::path& d : {input, temp, out, cwd}) fs::create_directories(d);
  // What a name taken for a path would find.
  std::ofstream(cwd / "SECRET.txt") << "the secret";
  std::ofstream(cwd / ".bashrc") << "the shell's";

  const fs::path absolute_target = dir.path() / "absolute-target";
  pstgen::Store store(u"Hostile store");
  BuildHostileStore(store, absolute_target);
  pstgen::Message& mail = store.top().AddFolder(u"Separators", u"IPF.Note").AddMessage("IPM.Note");
  mail.SetSubject(u"Separators").SetBody(u"Body");
  mail.AddAttachment(u"x;SECRET.txt", pstgen::Bytes("own bytes"));
  mail.AddAttachment(u".bashrc", pstgen::Bytes("own bashrc"));
  const fs::path pst = input / "hostile.pst";
  pstgen::Write(store, pst);

  const fs::path trace = dir.path() / "trace.txt";
  const std::vector<std::string> commands = {
      "convert " + test::Quote(pst.string()) + " " + test::Quote((out / "msg").string()),
      "convert " + test::Quote(pst.string()) + " " + test::Quote((out / "eml").string()) +
          " --format eml",
      "list " + test::Quote(pst.string()) + " '/Top of Personal Folders/Inbox'",
      "preview " + test::Quote(pst.string()) + " '/Top of Personal Folders/Separators' 1",
      "preview " + test::Quote(pst.string()) + " '/Top of Personal Folders/Inbox' 1 --text",
  };
  std::vector<std::string> outside;
  for (const std::string& command : commands) {
    SCOPED_TRACE(command);
    const test::CommandResult result =
        test::Run("cd " + test::Quote(cwd.string()) +
                  " && env ASAN_OPTIONS=detect_leaks=0 strace -f -y -s 65535 -e trace=%file -o " +
                  test::Quote(trace.string()) + " " + test::Quote(cli.string()) + " " + command +
                  " --temp " + test::Quote(temp.string()) + " >/dev/null 2>&1");
    EXPECT_NE(result.exit_code, 1) << "the command did not run";
    for (const std::string& path : TracedPaths(trace, cwd)) {
      const bool system = path.rfind("/usr/", 0) == 0 || path.rfind("/lib", 0) == 0 ||
                          path.rfind("/etc/", 0) == 0 || path.rfind("/proc/", 0) == 0 ||
                          path.rfind("/sys/", 0) == 0 || path.rfind("/dev/", 0) == 0 ||
                          path == "/selinux";  // the SELinux library's start-up probe
      if (system || path == pst.string() || Under(path, temp) || Under(path, out)) continue;
      outside.push_back(command.substr(0, command.find(' ')) + ": " + path);
    }
  }
  std::string listed;
  for (const std::string& path : outside) listed += "\n  " + path;
  EXPECT_TRUE(outside.empty()) << outside.size() << " paths outside:" << listed;
  EXPECT_FALSE(fs::exists(absolute_target));
}

}  // namespace
}  // namespace bm::robust

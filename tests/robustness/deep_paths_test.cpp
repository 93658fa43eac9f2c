// Folder chains whose paths are longer than the kernel takes in one call (PATH_MAX): the
// conversion's files are written there like anywhere else, and a name the file system cannot
// take fails at once with that reason instead of a search through every other name.
#include <gtest/gtest.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "base/file_bytes.h"
#include "base/paths.h"
#include "base/pending_file.h"
#include "base/safe_files.h"
#include "base/text.h"
#include "msg/file_bytes.h"
#include "msg/messaging_session.h"
#include "support/test_support.h"
#include "tools/pstgen/pstgen.h"

namespace bm::robust {
namespace {

namespace fs = std::filesystem;

// The start of every MS-OXMSG file: the compound file signature.
constexpr std::string_view kCompoundFileSignature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

// std::filesystem cannot remove what lies beyond PATH_MAX; rm can.
class DeepTempDir {
 public:
  ~DeepTempDir() { test::Run("rm -rf " + test::Quote(dir_.path().string())); }
  const fs::path& path() const { return dir_.path(); }

 private:
  test::TempDir dir_;
};

// The lines of `text` that start with `prefix`.
int LinesStartingWith(const std::string& text, std::string_view prefix) {
  int count = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    if (std::string_view(text).substr(at, end - at).starts_with(prefix)) ++count;
    at = end + 1;
  }
  return count;
}

class DeepPaths : public ::testing::Test {
 protected:
  // Mirror directories made as the conversion makes them, one per level, until the path is
  // well past PATH_MAX.
  fs::path MakeDeepFolder() {
    fs::path folder = dir_.path();
    while (folder.native().size() < PATH_MAX + 1000) {
      const Result<fs::path> made = CreateFreshDirectory(folder / std::string(150, 'f'));
      EXPECT_TRUE(made.ok()) << made.error().message().substr(0, 300);
      if (!made) return {};
      folder = *made;
    }
    return folder;
  }

  DeepTempDir dir_;
  test::TempDir temp_;
};

TEST_F(DeepPaths, MsgAndTextFilesAreWrittenBeyondPathMax) {
  const fs::path folder = MakeDeepFolder();
  ASSERT_FALSE(folder.empty());

  // An e-mail: copied from its store into an MSG file in the deep folder.
  pstgen::Store store;
  store.top().AddFolder(u"Inbox", u"IPF.Note").AddMessage("IPM.Note").SetSubject(u"Deep");
  pstgen::Write(store, temp_.path() / "deep.pst");
  auto opened = pst::Store::Open(temp_.path() / "deep.pst");
  ASSERT_TRUE(opened) << opened.error().message();
  std::optional<pst::Message> stored;
  for (pst::Nid folder : opened->SubFolders(opened->root_folder())) {
    for (pst::Nid inner : opened->SubFolders(folder)) {
      for (pst::Nid nid : opened->Messages(inner)) {
        if (auto message = opened->OpenMessage(nid)) stored.emplace(std::move(*message));
      }
    }
  }
  ASSERT_TRUE(stored.has_value());
  std::unique_ptr<MessagingSession> session;
  ASSERT_GE(MessagingSession::Create(session), 0);
  const fs::path msg = folder / "Deep--1.msg";
  std::unique_ptr<MsgMessage> message;
  ASSERT_GE(session->MakeMsgFileMessage(FromPath(msg), u"IPM.Note", kMsgFormat, message), 0);
  ASSERT_GE(message->CopyFromStoreMessage(*opened, *stored), 0);
  ASSERT_GE(message->CommitMessage(), 0) << message->failure();
  const std::optional<std::string> bytes = ReadFileBytes(msg);
  ASSERT_TRUE(bytes.has_value());
  EXPECT_TRUE(bytes->starts_with(kCompoundFileSignature));

  // A text item under the first free name, beside it.
  Result<PendingFile> text = PendingFile::Create(folder);
  ASSERT_TRUE(text.ok()) << text.error().message().substr(0, 300);
  ASSERT_TRUE(text->Write("\xFF\xFE").ok());
  const Result<fs::path> placed = text->PlaceAsFirstFree(
      [&](int attempt) {
        return folder /
               ("Deep--1" + (attempt > 1 ? " (" + std::to_string(attempt) + ")" : "") + ".msg");
      },
      100);
  ASSERT_TRUE(placed.ok());
  EXPECT_EQ(placed->filename(), "Deep--1 (2).msg");

  // A name no file system takes is reported as too long, not as a missing file.
  const HResult too_long =
      WriteFileBytes(folder / (std::string(300, 'n') + ".msg"), "x", ExistingFile::kKeep);
  EXPECT_EQ(too_long, E_FILENAMETOOLONG);
  EXPECT_EQ(std::u16string(FailureText(too_long)), u"the path is too long for the file system");
}

// The whole conversion through the command line: mirror directories and free names beyond
// PATH_MAX cost a few calls each, not 100,000 failing ones per item.
TEST_F(DeepPaths, EveryLevelIsConvertedThroughTheCommandLine) {
  const fs::path cli = fs::path(BRINDLEMOOR_BINARY_DIR) / "cli" / "brindlemoor-cli";
  if (!fs::exists(cli)) GTEST_SKIP() << cli << " is not built";
  constexpr int kLevels = 40;  // 40 folders of 150 bytes: about 6,000 bytes of path
  pstgen::Store store(u"Deep paths");
  pstgen::Folder* folder = &store.top();
  for (int level = 1; level <= kLevels; ++level) {
    const std::u16string number = FromUtf8(std::to_string(level));
    folder = &folder->AddFolder(number + std::u16string(150, u'f'), u"IPF.Note");
    folder->AddMessage("IPM.Note").SetSubject(u"At level " + number).SetBody(u"Body");
  }
  const fs::path pst = temp_.path() / "deep.pst";
  pstgen::Write(store, pst);

  const fs::path out = dir_.path() / "out";
  const bool traced = test::HaveProgram("strace");
  const fs::path trace = temp_.path() / "stat-calls.txt";
  // The leak checker cannot run under ptrace; the other command-line runs keep it on.
  const std::string prefix = traced ? "env ASAN_OPTIONS=detect_leaks=0 strace -f -c -e "
                                      "trace=stat,lstat,newfstatat,statx -o " +
                                          test::Quote(trace.string()) + " "
                                    : "";
  const test::CommandResult result = test::Run(
      prefix + test::Quote(cli.string()) + " convert " + test::Quote(pst.string()) + " " +
      test::Quote(out.string()) + " --temp " + test::Quote(temp_.path().string()) + " 2>&1");
  EXPECT_EQ(result.exit_code, 0) << result.output.substr(0, 2000);
  EXPECT_EQ(LinesStartingWith(result.output, "FAILED"), 0) << result.output.substr(0, 2000);
  EXPECT_EQ(LinesStartingWith(result.output, "written  email        40"), 1);
  // find walks trees of any depth.
  const test::CommandResult found =
      test::Run("find " + test::Quote(out.string()) + " -name '*.msg' | wc -l");
  EXPECT_EQ(std::stoi(found.output), kLevels);
  if (traced) {
    // A few calls per item, not a search through every possible name.
    // strace prints no table when nothing was called.
    const std::string counts = test::ReadFile(trace);
    const std::size_t total = counts.rfind("total");
    long long calls = 0;
    long long errors = 0;
    if (total != std::string::npos) {
      const std::size_t line = counts.rfind('\n', total);
      std::sscanf(counts.c_str() + (line == std::string::npos ? 0 : line + 1),
                  "%*s %*s %*s %lld %lld", &calls, &errors);
    }
    EXPECT_LT(errors, 100LL * kLevels) << counts;
  }
}

}  // namespace
}  // namespace bm::robust

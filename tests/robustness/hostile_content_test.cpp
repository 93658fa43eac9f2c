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
#include <random>
#include <string>

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

}  // namespace
}  // namespace bm::robust

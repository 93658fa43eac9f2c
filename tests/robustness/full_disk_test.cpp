// A destination that runs out of space, or turns read-only mid-run: the items that did not
// reach the disk are reported (conversion report, command-line summary and exit status) and
// never counted as converted, and the files already written stay whole. Uses a small tmpfs,
// which needs root; the tests skip, saying so, where mounting is not allowed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "robustness/child.h"
#include "robustness/pipeline.h"
#include "robustness/seed_stores.h"
#include "robustness/small_disk.h"
#include "support/test_support.h"
#include "tools/pstgen/pstgen.h"

namespace bm::robust {
namespace {

namespace fs = std::filesystem;

constexpr int kMails = 10;

// An MSG file is an OLE2 compound file; a whole one is at least its header and a sector.
bool LooksWhole(const fs::path& msg) {
  const std::string bytes = test::ReadFile(msg);
  return bytes.size() >= 1024 && bytes.size() % 512 == 0 &&
         bytes.compare(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") == 0;
}

std::vector<fs::path> MsgFiles(const fs::path& directory) {
  std::vector<fs::path> files;
  for (const fs::path& file : FilesUnder(directory)) {
    if (file.extension() == ".msg") files.push_back(file);
  }
  return files;
}

class FullDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    pstgen::Store store(u"Bulky store");
    BuildBulkyStore(store, kMails);
    pst_ = sandbox_.input() / "bulky.pst";
    pstgen::Write(store, pst_);
  }

  // Converts everything into a destination on a 1 MiB disk, which holds about four mails.
  SandboxRun ConvertOntoFullDisk(PipelineOutcome& outcome) {
    PipelineOptions options;
    options.preview = false;
    return RunPipelineInSandbox(sandbox_, pst_, options, 300, outcome);
  }

  // Converts everything; after the third mail's status line the destination stops taking
  // writes.
  SandboxRun ConvertWhileTurningReadOnly(const SmallDisk& disk, PipelineOutcome& outcome) {
    PipelineOptions options;
    options.preview = false;
    int mails_seen = 0;
    options.on_window_call = [&](std::string_view op, std::u16string_view text) {
      if (op == "status" && text.starts_with(u"Mail [") && ++mails_seen == 3) {
        disk.MakeReadOnly();
      }
    };
    return RunPipelineInSandbox(sandbox_, pst_, options, 300, outcome);
  }

  // A disk that turns read-only while a worker writes keeps that worker's hidden working file
  // (".bm….tmp"): nothing may be removed from it any more. Never a file under a final name.
  enum class WorkingFiles { kNone, kMayBeStranded };

  // Whatever reached the destination is a whole MSG file: no half-written file, no temporary
  // file left behind, nothing outside the destination and the temp folder.
  void ExpectOnlyWholeFiles(const SandboxRun& run, WorkingFiles working = WorkingFiles::kNone) {
    ASSERT_TRUE(run.child.Exited(0)) << run.child.Describe();
    EXPECT_TRUE(run.stray_files.empty()) << run.stray_files.front();
    for (const fs::path& file : FilesUnder(sandbox_.dest())) {
      const std::string name = file.filename().string();
      if (working == WorkingFiles::kMayBeStranded && name.starts_with(".bm") &&
          file.extension() == ".tmp") {
        continue;
      }
      EXPECT_EQ(file.extension(), ".msg") << file;
      EXPECT_TRUE(LooksWhole(file)) << file;
    }
  }

  // Every mail is either counted as written (and its MSG file is on the disk) or reported as
  // failed.
  void ExpectEveryMailAccountedFor(const SandboxRun& run, const PipelineOutcome& outcome) {
    ASSERT_TRUE(run.have_outcome) << run.child.Describe();
    ASSERT_TRUE(outcome.converted);
    EXPECT_EQ(static_cast<int>(MsgFiles(sandbox_.dest()).size()), outcome.written)
        << "items counted as converted must be the files on the disk";
    EXPECT_EQ(outcome.written + static_cast<int>(outcome.failures.size()), kMails);
  }

  Sandbox sandbox_;
  fs::path pst_;
};

TEST_F(FullDisk, WhatReachesAFullDiskIsWhole) {
  const SmallDisk disk(sandbox_.dest(), "1m");
  BM_MOUNT_OR_SKIP(disk);
  PipelineOutcome outcome;
  ExpectOnlyWholeFiles(ConvertOntoFullDisk(outcome));
  EXPECT_LT(MsgFiles(sandbox_.dest()).size(), static_cast<std::size_t>(kMails))
      << "the disk was meant to fill up";
}

TEST_F(FullDisk, WhatWasWrittenBeforeTheDiskTurnedReadOnlyIsWhole) {
  const SmallDisk disk(sandbox_.dest(), "64m");
  BM_MOUNT_OR_SKIP(disk);
  PipelineOutcome outcome;
  ExpectOnlyWholeFiles(ConvertWhileTurningReadOnly(disk, outcome), WorkingFiles::kMayBeStranded);
  // Workers run ahead of the status line, so more than the three shown may have been written.
  EXPECT_GE(MsgFiles(sandbox_.dest()).size(), 3u);
}

TEST_F(FullDisk, ItemsThatDoNotFitAreReportedNotCounted) {
  const SmallDisk disk(sandbox_.dest(), "1m");
  BM_MOUNT_OR_SKIP(disk);
  PipelineOutcome outcome;
  ExpectEveryMailAccountedFor(ConvertOntoFullDisk(outcome), outcome);
  EXPECT_FALSE(outcome.failures.empty());
  EXPECT_EQ(outcome.final_status, std::to_string(outcome.failures.size()) +
                                      " item(s) could not be converted; the log names them");
}

TEST_F(FullDisk, DestinationTurningReadOnlyMidRunIsReported) {
  const SmallDisk disk(sandbox_.dest(), "64m");
  BM_MOUNT_OR_SKIP(disk);
  PipelineOutcome outcome;
  ExpectEveryMailAccountedFor(ConvertWhileTurningReadOnly(disk, outcome), outcome);
  // Workers run ahead of the status line, so more than the three shown may have been written.
  EXPECT_GE(outcome.written, 3);
}

TEST_F(FullDisk, CommandLineSummaryNamesTheFailedItems) {
  const fs::path cli = fs::path(BRINDLEMOOR_BINARY_DIR) / "cli" / "brindlemoor-cli";
  if (!fs::exists(cli)) GTEST_SKIP() << cli << " is not built";
  const SmallDisk disk(sandbox_.dest(), "1m");
  BM_MOUNT_OR_SKIP(disk);
  const test::CommandResult result =
      test::Run(test::Quote(cli.string()) + " convert " + test::Quote(pst_.string()) + " " +
                test::Quote(sandbox_.dest().string()) + " --temp " +
                test::Quote(sandbox_.temp().string()) + " 2>&1");
  EXPECT_EQ(result.exit_code, 2) << result.output;
  int failed_lines = 0;
  for (std::size_t at = result.output.find("FAILED"); at != std::string::npos;
       at = result.output.find("FAILED", at + 1)) {
    ++failed_lines;
  }
  const int on_disk = static_cast<int>(MsgFiles(sandbox_.dest()).size());
  EXPECT_EQ(failed_lines + on_disk, kMails) << result.output;
  EXPECT_NE(result.output.find("written "), std::string::npos) << result.output;
  // The scan's log names each item too.
  int logged = 0;
  for (const fs::path& file : FilesUnder(sandbox_.temp())) {
    if (file.filename().string().starts_with("log-data-")) {
      const std::string log = test::ReadFile(file);
      for (std::size_t at = log.find("Not converted: "); at != std::string::npos;
           at = log.find("Not converted: ", at + 1)) {
        ++logged;
      }
    }
  }
  EXPECT_EQ(logged, failed_lines);
}

}  // namespace
}  // namespace bm::robust

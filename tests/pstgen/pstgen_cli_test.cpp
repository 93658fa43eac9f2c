// The brindlemoor-pstgen command line.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "pstgen/pff_reader.h"
#include "support/test_support.h"
#include "tools/pstgen/checker.h"

namespace pstgen::test {
namespace {

bm::test::CommandResult Pstgen(const std::string& arguments) {
  return bm::test::Run(bm::test::Quote(PSTGEN_CLI) + " " + arguments + " 2>&1");
}

TEST(PstgenCli, HelpAndBadUsage) {
  const auto help = Pstgen("--help");
  EXPECT_EQ(help.exit_code, 0);
  for (const char* command :
       {"--demo", "--synthetic", "--seed", "--wide-folder", "--deep", "--special-names", "--check",
        "--encryption", "cyclic", "--ansi", "--layout"}) {
    EXPECT_NE(help.output.find(command), std::string::npos) << command;
  }
  EXPECT_EQ(Pstgen("").exit_code, 2);
  EXPECT_EQ(Pstgen("--synthetic many out.pst").exit_code, 2);
  EXPECT_EQ(Pstgen("--demo").exit_code, 2);
  EXPECT_EQ(Pstgen("--bogus x.pst").exit_code, 2);
  EXPECT_EQ(Pstgen("--demo a.pst --encryption strong").exit_code, 2);
}

TEST(PstgenCli, WritesTheDemoStoreAndChecksIt) {
  bm::test::TempDir dir;
  const auto out = dir.path() / "demo.pst";
  const auto written =
      Pstgen("--demo " + bm::test::Quote(out.string()) + " --encryption compressible");
  ASSERT_EQ(written.exit_code, 0) << written.output;
  const auto check = Pstgen("--check " + bm::test::Quote(out.string()));
  EXPECT_EQ(check.exit_code, 0) << check.output;
  EXPECT_NE(check.output.find("no faults"), std::string::npos);
  const PffStore read = ReadWithLibpff(out);
  EXPECT_EQ(read.encryption_type, 1);
  EXPECT_GE(read.root.folders.at(0).folders.size(), 8u);
}

TEST(PstgenCli, WritesAnsiCyclicStoresAndMapsThem) {
  bm::test::TempDir dir;
  const auto out = bm::test::Quote((dir.path() / "ansi.pst").string());
  const auto written = Pstgen("--ansi --synthetic 30 " + out + " --encryption cyclic");
  ASSERT_EQ(written.exit_code, 0) << written.output;
  const auto check = Pstgen("--check " + out);
  EXPECT_EQ(check.exit_code, 0) << check.output;
  const PffStore read = ReadWithLibpff(dir.path() / "ansi.pst", 0);
  EXPECT_EQ(read.encryption_type, 2);
  const auto layout = Pstgen("--layout " + out);
  EXPECT_EQ(layout.exit_code, 0);
  EXPECT_NE(layout.output.find("\"format\": \"ansi\""), std::string::npos);
  EXPECT_NE(layout.output.find("\"bCryptMethod\": [461, 1]"), std::string::npos);
  EXPECT_NE(layout.output.find("\"nodes\": [{"), std::string::npos);
}

TEST(PstgenCli, SyntheticStoresFollowTheSeed) {
  bm::test::TempDir dir;
  const auto path = [&](const char* name) { return bm::test::Quote((dir.path() / name).string()); };
  ASSERT_EQ(Pstgen("--synthetic 60 " + path("a.pst") + " --seed 5").exit_code, 0);
  ASSERT_EQ(Pstgen("--synthetic 60 " + path("b.pst") + " --seed 5").exit_code, 0);
  ASSERT_EQ(Pstgen("--seed 6 --synthetic 60 " + path("c.pst")).exit_code, 0);
  const std::string a = bm::test::ReadFile(dir.path() / "a.pst");
  EXPECT_EQ(a, bm::test::ReadFile(dir.path() / "b.pst"));
  EXPECT_NE(a, bm::test::ReadFile(dir.path() / "c.pst"));
  std::size_t messages = 0;
  std::function<void(const PffFolder&)> count = [&](const PffFolder& folder) {
    messages += folder.messages.size();
    for (const auto& child : folder.folders) count(child);
  };
  count(ReadWithLibpff(dir.path() / "a.pst", 0).root);
  EXPECT_EQ(messages, 60u);
}

TEST(PstgenCli, CheckReportsAFaultyFile) {
  bm::test::TempDir dir;
  const auto out = dir.path() / "deep.pst";
  ASSERT_EQ(Pstgen("--deep 3 " + bm::test::Quote(out.string())).exit_code, 0);
  std::string bytes = bm::test::ReadFile(out);
  bytes[8] ^= 0x20;  // inside the CRC-protected header
  {
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file << bytes;
  }
  const auto check = Pstgen("--check " + bm::test::Quote(out.string()));
  EXPECT_EQ(check.exit_code, 1);
  EXPECT_NE(check.output.find("FAULTS FOUND"), std::string::npos) << check.output;
  EXPECT_EQ(Pstgen("--check " + bm::test::Quote((dir.path() / "missing.pst").string())).exit_code,
            1);
}

}  // namespace
}  // namespace pstgen::test

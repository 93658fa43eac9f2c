// brindlemoor-cli as a user runs it: output, exit status, and what it leaves on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/test_support.h"
#include "tools/pstgen/pstgen.h"

namespace bm {
namespace {

namespace fs = std::filesystem;

class CliTest : public ::testing::Test {
 protected:
  test::CommandResult Cli(const std::string& arguments) {
    return test::Run(std::string(BRINDLEMOOR_CLI) + " " + arguments + " --temp " +
                     test::Quote(temp.path().string()) + " 2>" +
                     test::Quote((temp.path() / "stderr.txt").string()));
  }
  std::string Stderr() const { return test::ReadFile(temp.path() / "stderr.txt"); }

  fs::path SmallStore() {
    pstgen::Store store(u"Small");
    pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
    inbox.AddMessage("IPM.Note").SetSubject(u"Hello").SetBody(u"Body");
    inbox.AddFolder(u"Sub \u00e9", u"IPF.Note");
    const fs::path pst = data.path() / "small.pst";
    pstgen::Write(store, pst);
    return pst;
  }

  test::TempDir temp;
  test::TempDir data;
};

TEST_F(CliTest, ScanPrintsTheTreeWithDepthsKindsAndCounts) {
  const auto result = Cli("scan " + test::Quote(SmallStore().string()));
  ASSERT_EQ(result.exit_code, 0) << Stderr();
  EXPECT_NE(result.output.find("\n  Top of Personal Folders  [folder, 0 messages]\n"),
            std::string::npos)
      << result.output;
  EXPECT_NE(result.output.find("\n    Inbox  [email, 1 messages]\n"), std::string::npos);
  EXPECT_NE(result.output.find("\n      Sub \xc3\xa9  [email, 0 messages]\n"), std::string::npos);
}

TEST_F(CliTest, ScanJsonListsEveryNode) {
  const auto result = Cli("scan --json " + test::Quote(SmallStore().string()));
  ASSERT_EQ(result.exit_code, 0) << Stderr();
  EXPECT_EQ(result.output.front(), '[');
  EXPECT_NE(result.output.find("{\"name\": \"Inbox\", \"depth\": 2, \"relative_folder_path\": "
                               "\"/Top of Personal Folders\", \"folder_path\": \"/Top of Personal "
                               "Folders/Inbox\", \"kind\": \"email\", \"messages\": 1}"),
            std::string::npos)
      << result.output;
}

TEST_F(CliTest, ScanOfSomethingElseFailsWithTheMessage) {
  const fs::path bogus = data.path() / "bogus.pst";
  std::ofstream(bogus) << "not a personal folder file";
  const auto result = Cli("scan " + test::Quote(bogus.string()));
  EXPECT_NE(result.exit_code, 0);
  EXPECT_NE(Stderr().find("Unable to open file. Please select valid pst file"), std::string::npos);
  EXPECT_NE(Stderr().find("unable to open file"), std::string::npos);
  // Nothing but the temp folder was written.
  EXPECT_EQ(std::distance(fs::directory_iterator(data.path()), fs::directory_iterator()), 1);
}

TEST_F(CliTest, ConvertWritesTheTreeAndSummarises) {
  const fs::path out = data.path() / "out";
  const auto result = Cli("convert " + test::Quote(SmallStore().string()) + " " +
                          test::Quote(out.string()) + " --folder '/Top of Personal Folders/Inbox'");
  ASSERT_EQ(result.exit_code, 0) << Stderr() << result.output;
  EXPECT_NE(result.output.find("Destination: " + out.string() + "/convertPSTFile"),
            std::string::npos)
      << result.output;
  int messages = 0;
  for (const auto& entry : fs::recursive_directory_iterator(out)) {
    messages += entry.path().extension() == ".msg";
  }
  EXPECT_EQ(messages, 1);
}

TEST_F(CliTest, UnknownFolderNamesTheNearestOnes) {
  const fs::path out = data.path() / "out";
  const auto result = Cli("convert " + test::Quote(SmallStore().string()) + " " +
                          test::Quote(out.string()) + " --folder '/Top of Personal Folders/Inbx'");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(Stderr().find("nearest:\n  /Top of Personal Folders/Inbox"), std::string::npos)
      << Stderr();
  EXPECT_FALSE(fs::exists(out));
}

}  // namespace
}  // namespace bm

// brindlemoor-cli list: the item list of one folder as the desktop shows it.
#include <gtest/gtest.h>

#include "writer_fixture.h"

namespace bm {
namespace {

using test::Quote;
using test::Run;

std::string Cli() {
  return std::string(BRINDLEMOOR_BINARY_DIR) + "/cli/brindlemoor-cli";
}

class ListCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    pstgen::Store store;
    pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
    inbox.AddMessage("IPM.Note")
        .SetSubject(u"Caf\u00e9 news")
        .SetBody(u"b")
        .Set(pstgen::tag::kSenderName, u"Ann");
    inbox.AddMessage("IPM.StickyNote").Set(pstgen::tag::kConversationTopic, u"tab\there");
    pst_ = temp_.path() / "store.pst";
    pstgen::Write(store, pst_);
  }

  test::CommandResult List(const std::string& folder) {
    return test::Run(Quote(Cli()) + " list " + Quote(pst_.string()) + " " + Quote(folder) +
                     " --temp " + Quote(temp_.path().string()) + " 2>&1");
  }

  test::TempDir temp_;
  std::filesystem::path pst_;
};

TEST_F(ListCommand, PrintsTheHeaderAndOneLinePerItem) {
  const test::CommandResult result = List("/Top of Personal Folders/Inbox");
  ASSERT_EQ(result.exit_code, 0) << result.output;
  EXPECT_NE(result.output.find("NO\tItems\tFrom\tE-mail Subject\tDate/time\tFlag\tSize\n"),
            std::string::npos);
  EXPECT_NE(result.output.find("1\temail\tFrom:Ann\tCaf\xC3\xA9 news\tJan 15, 2024 "
                               "10:00:00.000000000\tRead\t"),
            std::string::npos)
      << result.output;
  // A tab inside a value cannot shift the columns: it is shown as its symbol.
  EXPECT_NE(result.output.find("2\tnote\t\ttab\xE2\x90\x89here\t"), std::string::npos)
      << result.output;
}

TEST_F(ListCommand, AnUnknownFolderNamesTheNearestAndFails) {
  const test::CommandResult result = List("/Top of Personal Folders/Inbx");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.output.find("/Top of Personal Folders/Inbox"), std::string::npos)
      << result.output;
}

}  // namespace
}  // namespace bm

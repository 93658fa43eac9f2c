// The messaging session's checks and commit failures: a message copied from a pstgen store is
// written once, never over a file, never cut short.
#include "msg/messaging_session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "base/paths.h"
#include "support/test_support.h"
#include "tools/pstgen/pstgen.h"

namespace bm {
namespace {

namespace fs = std::filesystem;

class MessagingSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(MessagingSession::Create(session_), S_OK);
    pstgen::Store store;
    store.top().AddFolder(u"Inbox", u"IPF.Note").AddMessage("IPM.Note").SetSubject(u"Copied");
    pstgen::Write(store, dir_.path() / "s.pst");
    auto opened = pst::Store::Open(dir_.path() / "s.pst");
    ASSERT_TRUE(opened) << opened.error().message();
    store_.emplace(std::move(*opened));
    for (pst::Nid folder : store_->SubFolders(store_->root_folder())) {
      for (pst::Nid nid : store_->Messages(folder)) nid_ = nid;
      for (pst::Nid inner : store_->SubFolders(folder)) {
        for (pst::Nid nid : store_->Messages(inner)) nid_ = nid;
      }
    }
    ASSERT_NE(nid_, 0u);
  }

  HResult CommitTo(const fs::path& msg) {
    std::unique_ptr<MsgMessage> message;
    EXPECT_EQ(session_->MakeMsgFileMessage(FromPath(msg), u"IPM.Note", kMsgFormat, message), S_OK);
    auto stored = store_->OpenMessage(nid_);
    EXPECT_TRUE(stored);
    EXPECT_EQ(message->CopyFromStoreMessage(*store_, *stored), S_OK);
    return message->CommitMessage();
  }

  test::TempDir dir_;
  std::unique_ptr<MessagingSession> session_;
  std::optional<pst::Store> store_;
  pst::Nid nid_ = 0;
};

TEST_F(MessagingSessionTest, MakeRefusesMissingArgumentsAndCommitNeedsACopySource) {
  std::unique_ptr<MsgMessage> message;
  const std::u16string path = FromPath(dir_.path() / "x.msg");
  EXPECT_EQ(session_->MakeMsgFileMessage(u"", u"IPM.Note", kMsgFormat, message), E_INVALIDARG);
  EXPECT_EQ(session_->MakeMsgFileMessage(path, u"", kMsgFormat, message), E_INVALIDARG);
  EXPECT_EQ(session_->MakeMsgFileMessage(path, u"IPM.Note", 0, message), E_INVALIDARG);
  EXPECT_EQ(message, nullptr);
  EXPECT_EQ(session_->MakeMsgFileMessage(path, u"IPM.Note", kMsgUnicodeFormat, message), S_OK);
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(message->CommitMessage(), E_POINTER);
  EXPECT_FALSE(message->failure().empty());
  EXPECT_FALSE(fs::exists(dir_.path() / "x.msg"));
}

TEST_F(MessagingSessionTest, FailedCommitLeavesNoFileAndNeverReplacesOne) {
  EXPECT_EQ(CommitTo(dir_.path() / "no-such-folder" / "a.msg"), STG_E_PATHNOTFOUND);

  const fs::path existing = dir_.path() / "taken.msg";
  std::ofstream(existing) << "keep me";
  EXPECT_EQ(CommitTo(existing), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(test::ReadFile(existing), "keep me");

  const fs::path locked = dir_.path() / "locked";
  fs::create_directory(locked);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
  std::FILE* probe = std::fopen((locked / "probe").c_str(), "wb");
  if (probe != nullptr) {  // running with rights that ignore permissions
    std::fclose(probe);
    fs::remove(locked / "probe");
  } else {
    EXPECT_LT(CommitTo(locked / "a.msg"), 0);
    EXPECT_TRUE(fs::is_empty(locked));
  }
  fs::permissions(locked, fs::perms::owner_all);

  EXPECT_EQ(CommitTo(dir_.path() / "a.msg"), S_OK);
  EXPECT_TRUE(fs::exists(dir_.path() / "a.msg"));
}

TEST(MessagingSessionCreation, FailsWhenItsRuntimeCannotStart) {
  std::unique_ptr<MessagingSession> session;
  EXPECT_EQ(MessagingSession::Create(session, [] { return REGDB_E_CLASSNOTREG; }),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(session, nullptr);
  EXPECT_EQ(MessagingSession::Create(session, ComponentStarter()), E_POINTER);
  EXPECT_EQ(MessagingSession::Create(session), S_OK);
  EXPECT_NE(session, nullptr);
}

}  // namespace
}  // namespace bm

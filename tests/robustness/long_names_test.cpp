// Names far beyond any file system's limit, through the components that carry them: the
// composed message and the MSG file take a 10,000-character subject, and the target file
// name made from it is cut to fit.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "base/paths.h"
#include "msg/mapi_properties.h"
#include "msg/messaging_session.h"
#include "msg/mimelib.h"
#include "support/test_support.h"

namespace bm::robust {
namespace {

namespace fs = std::filesystem;

class LongSubject : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GE(Mimelib::Create(mimelib_), 0);
    ASSERT_GE(MessagingSession::Create(session_), 0);
    std::ofstream(dir_.path() / "body.txt") << "Body";
  }

  HResult Compose(const std::u16string& subject) {
    return mimelib_->ComposeEmlFile(
        FromPath(eml()), FromPath(dir_.path() / "body.txt"), u"From:Sender <s@example.com > ",
        u"Ann [a@example.com],", u"01/05/2013 14:03:22.000000000", u"txt", {}, subject, u"", u"");
  }
  fs::path eml() const { return dir_.path() / "temp.eml"; }

  test::TempDir dir_;
  std::unique_ptr<Mimelib> mimelib_;
  std::unique_ptr<MessagingSession> session_;
};

TEST_F(LongSubject, SurvivesCompositionAndLoading) {
  const std::u16string subject(10000, u'L');
  ASSERT_GE(Compose(subject), 0);
  std::unique_ptr<MsgMessage> message;
  ASSERT_GE(session_->MakeMsgFileMessage(FromPath(dir_.path() / "out.msg"), u"IPM.Note", kMsgFormat,
                                         message),
            0);
  ASSERT_GE(message->LoadMessageFromFile(FromPath(eml()), kRfc822Type), 0);
  EXPECT_EQ(message->Content().properties.Text(mapi::tag::kSubject).value_or(u""), subject);
  EXPECT_GE(message->CommitMessage(), 0);
}

}  // namespace
}  // namespace bm::robust

namespace bm::robust {
namespace {

// The e-mail writer cuts target names to the file system's 255-byte limit; the MSG file must
// then be written under that name, whatever temporary name the writing goes through.
TEST_F(LongSubject, MsgFileWithTheLongestNameIsCommitted) {
  ASSERT_GE(Compose(u"Short"), 0);
  const fs::path target = dir_.path() / (std::string(251, 'L') + ".msg");
  ASSERT_EQ(target.filename().string().size(), 255u);
  std::unique_ptr<MsgMessage> message;
  ASSERT_GE(session_->MakeMsgFileMessage(FromPath(target), u"IPM.Note", kMsgFormat, message), 0);
  ASSERT_GE(message->LoadMessageFromFile(FromPath(eml()), kRfc822Type), 0);
  EXPECT_GE(message->CommitMessage(), 0);
  EXPECT_TRUE(fs::exists(target));
}

}  // namespace
}  // namespace bm::robust

// Names far beyond any file system's limit, through the components that carry them: the
// composed message and the MSG file take a 10,000-character subject, and the target file
// name made from it is cut to fit.
#include <gmime/gmime.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "base/paths.h"
#include "base/text.h"
#include "msg/component_runtime.h"
#include "msg/email_eml.h"
#include "msg/glib_ptr.h"
#include "msg/messaging_session.h"
#include "support/test_support.h"
#include "tools/pstgen/pstgen.h"

namespace bm::robust {
namespace {

namespace fs = std::filesystem;

class LongSubject : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GE(StartMimeRuntime(), 0);
    ASSERT_GE(MessagingSession::Create(session_), 0);
  }

  // A store with one e-mail of `subject`, opened; the e-mail.
  std::optional<pst::Message> StoreWith(const std::u16string& subject) {
    pstgen::Store store;
    store.top().AddFolder(u"Inbox", u"IPF.Note").AddMessage("IPM.Note").SetSubject(subject);
    pstgen::Write(store, dir_.path() / "long.pst");
    auto opened = pst::Store::Open(dir_.path() / "long.pst");
    if (!opened) return std::nullopt;
    store_.emplace(std::move(*opened));
    for (pst::Nid top : store_->SubFolders(store_->root_folder())) {
      for (pst::Nid inbox : store_->SubFolders(top)) {
        for (pst::Nid nid : store_->Messages(inbox)) {
          if (auto message = store_->OpenMessage(nid)) return std::move(*message);
        }
      }
    }
    return std::nullopt;
  }

  test::TempDir dir_;
  std::unique_ptr<MessagingSession> session_;
  std::optional<pst::Store> store_;
};

TEST_F(LongSubject, SurvivesComposition) {
  const std::u16string subject(10000, u'L');
  const std::optional<pst::Message> message = StoreWith(subject);
  ASSERT_TRUE(message.has_value());
  const auto record = mapi::ReadEmailRecord(*store_, *message);
  ASSERT_TRUE(record);
  const auto composed = ComposeEmailEml(*store_, *message, *record);
  ASSERT_TRUE(composed);
  GObjectPtr<GMimeStream> stream(
      g_mime_stream_mem_new_with_buffer(composed->bytes.data(), composed->bytes.size()));
  GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  GObjectPtr<GMimeMessage> parsed(g_mime_parser_construct_message(parser.get(), nullptr));
  ASSERT_TRUE(parsed);
  const char* parsed_subject = g_mime_message_get_subject(parsed.get());
  ASSERT_NE(parsed_subject, nullptr);
  EXPECT_EQ(FromUtf8(parsed_subject), subject);
}

// The e-mail writer cuts target names to the file system's 255-byte limit; the MSG file must
// then be written under that name, whatever temporary name the writing goes through.
TEST_F(LongSubject, MsgFileWithTheLongestNameIsCommitted) {
  const std::optional<pst::Message> stored = StoreWith(u"Short");
  ASSERT_TRUE(stored.has_value());
  const fs::path target = dir_.path() / (std::string(251, 'L') + ".msg");
  ASSERT_EQ(target.filename().string().size(), 255u);
  std::unique_ptr<MsgMessage> message;
  ASSERT_GE(session_->MakeMsgFileMessage(FromPath(target), u"IPM.Note", kMsgFormat, message), 0);
  ASSERT_GE(message->CopyFromStoreMessage(*store_, *stored), 0);
  EXPECT_GE(message->CommitMessage(), 0) << message->failure();
  EXPECT_TRUE(fs::exists(target));
}

}  // namespace
}  // namespace bm::robust

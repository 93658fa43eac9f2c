#include "msg/messaging_session.h"

#include "base/paths.h"
#include "msg/file_bytes.h"
#include "msg/msg_copy.h"

namespace bm {

MsgMessage::MsgMessage(ConstructionKey, std::filesystem::path path) : path_(std::move(path)) {}

MsgMessage::~MsgMessage() = default;

HResult MsgMessage::CopyFromStoreMessage(const pst::Store& store, const pst::Message& message) {
  source_store_ = &store;
  source_message_ = message;
  return S_OK;
}

HResult MsgMessage::CommitMessage() {
  failure_.clear();
  warnings_.clear();
  if (!source_message_ || source_store_ == nullptr) {
    failure_ = "the message has nothing to copy";
    return E_POINTER;
  }
  msg::CopyOptions options;
  options.warn = [this](const std::string& text) { warnings_.push_back(text); };
  options.name_when_whole = choose_name_;
  const Status written = msg::WriteMsgCopy(*source_store_, *source_message_, path_, options);
  if (written) return S_OK;
  failure_ = written.error().message();
  return ResultOfErrno(written.error().system_error());
}

MessagingSession::~MessagingSession() = default;

HResult MessagingSession::Create(std::unique_ptr<MessagingSession>& out) {
  return Create(out, StartMessagingRuntime);
}

HResult MessagingSession::Create(std::unique_ptr<MessagingSession>& out,
                                 const ComponentStarter& start) {
  out.reset();
  const HResult started = start ? start() : E_POINTER;
  if (Failed(started)) return started;
  out = std::make_unique<MessagingSession>(ConstructionKey());
  return S_OK;
}

HResult MessagingSession::MakeMsgFileMessage(const std::u16string& msg_path,
                                             const std::u16string& message_class, int format,
                                             std::unique_ptr<MsgMessage>& out) {
  out.reset();
  if (msg_path.empty() || message_class.empty()) return E_INVALIDARG;
  if (format != kMsgFormat && format != kMsgUnicodeFormat) return E_INVALIDARG;
  // The class the caller names is checked but not stored: the copy keeps the stored class.
  out = std::make_unique<MsgMessage>(MsgMessage::ConstructionKey(), ToPath(msg_path));
  return S_OK;
}

}  // namespace bm

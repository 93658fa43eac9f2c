#include "msg/messaging_session.h"

#include "base/paths.h"
#include "msg/eml_import.h"
#include "msg/file_bytes.h"
#include "msg/mapi_properties.h"
#include "msg/msg_copy.h"
#include "msg/msg_writer.h"

#include <cerrno>

namespace bm {

MsgMessage::MsgMessage(ConstructionKey, std::filesystem::path path, std::u16string message_class)
    : path_(std::move(path)), content_(std::make_unique<MessageContent>()) {
  content_->properties.SetText(mapi::tag::kMessageClass, std::move(message_class));
}

MsgMessage::~MsgMessage() = default;

HResult MsgMessage::LoadMessageFromFile(const std::u16string& eml_path, int type) {
  if (eml_path.empty() || type != kRfc822Type) return E_INVALIDARG;
  const std::optional<std::string> eml = ReadFileBytes(ToPath(eml_path));
  if (!eml) return STG_E_FILENOTFOUND;
  MessageContent loaded;
  if (const HResult imported = ImportEml(*eml, loaded); Failed(imported)) return imported;
  // The class the message was made with survives the load.
  if (std::optional<std::u16string> message_class =
          content_->properties.Text(mapi::tag::kMessageClass)) {
    loaded.properties.SetText(mapi::tag::kMessageClass, std::move(*message_class));
  }
  *content_ = std::move(loaded);
  return S_OK;
}

HResult MsgMessage::CopyFromStoreMessage(const pst::Store& store, const pst::Message& message) {
  source_store_ = &store;
  source_message_ = message;
  return S_OK;
}

HResult MsgMessage::CommitMessage() {
  failure_.clear();
  warnings_.clear();
  if (!source_message_) return WriteMsgFile(*content_, path_);
  msg::CopyOptions options;
  options.warn = [this](const std::string& text) { warnings_.push_back(text); };
  const Status written = msg::WriteMsgCopy(*source_store_, *source_message_, path_, options);
  if (written) return S_OK;
  failure_ = written.error().message();
  switch (written.error().system_error()) {
    case EEXIST:
      return STG_E_FILEALREADYEXISTS;
    case ENOSPC:
    case EDQUOT:
      return STG_E_MEDIUMFULL;
    case ENAMETOOLONG:
      return E_FILENAMETOOLONG;
    case EACCES:
    case EPERM:
    case EROFS:
      return STG_E_ACCESSDENIED;
    default:
      return STG_E_WRITEFAULT;
  }
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
  out =
      std::make_unique<MsgMessage>(MsgMessage::ConstructionKey(), ToPath(msg_path), message_class);
  return S_OK;
}

}  // namespace bm

// The messaging session: makes message objects bound to MSG files and writes them as copies of
// stored messages, Outlook MSG files (MS-OXMSG compound files).
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "msg/component_runtime.h"
#include "msg/hresult.h"
#include "pst/store.h"

namespace bm {

// Values of MakeMsgFileMessage's format argument.
inline constexpr int kMsgFormat = 3;
inline constexpr int kMsgUnicodeFormat = 9;

class MsgMessage {
  // Only the session can name this, so only the session makes messages.
  struct ConstructionKey {
    explicit ConstructionKey() = default;
  };

 public:
  MsgMessage(ConstructionKey, std::filesystem::path path);
  MsgMessage(const MsgMessage&) = delete;
  MsgMessage& operator=(const MsgMessage&) = delete;
  ~MsgMessage();

  // Makes the message a copy of `message` of `store`: every property, recipient and attachment
  // as stored, written by CommitMessage (the store must still be open then).
  HResult CopyFromStoreMessage(const pst::Store& store, const pst::Message& message);

  // Why the last CommitMessage failed, as a sentence ("attachment 0: ..."); and what it could
  // not carry over although it wrote the file (an embedding too deep, a property without a
  // name). Both empty after a whole copy.
  const std::string& failure() const { return failure_; }
  const std::vector<std::string>& warnings() const { return warnings_; }

  // Writes the MSG file at the bound path: to a temporary file in the same directory, renamed
  // into place only when complete. An existing file at that path is never replaced
  // (STG_E_FILEALREADYEXISTS); a failed write leaves no file behind. E_POINTER when the
  // message was given nothing to copy.
  HResult CommitMessage();

  // Makes CommitMessage of a store copy ask `choose` for the file's path once the file is
  // whole, instead of using the bound path: a run that writes many messages at once fixes
  // their names in its own order, after the slow part of each.
  void ChooseNameWhenWhole(std::function<std::filesystem::path()> choose) {
    choose_name_ = std::move(choose);
  }

 private:
  friend class MessagingSession;  // makes the construction key

  std::filesystem::path path_;
  // Set by CopyFromStoreMessage: the commit then copies the stored message.
  const pst::Store* source_store_ = nullptr;
  std::optional<pst::Message> source_message_;
  std::string failure_;
  std::vector<std::string> warnings_;
  std::function<std::filesystem::path()> choose_name_;
};

class MessagingSession {
  struct ConstructionKey {
    explicit ConstructionKey() = default;
  };

 public:
  // Creates the session; fails (out empty, negative result) when its runtime cannot start.
  static HResult Create(std::unique_ptr<MessagingSession>& out);
  static HResult Create(std::unique_ptr<MessagingSession>& out, const ComponentStarter& start);

  explicit MessagingSession(ConstructionKey) {}
  MessagingSession(const MessagingSession&) = delete;
  MessagingSession& operator=(const MessagingSession&) = delete;
  ~MessagingSession();

  // A new message of class `message_class` (for example "IPM.Note") bound to `msg_path`.
  // `format` is kMsgFormat or kMsgUnicodeFormat; strings are stored as Unicode either way.
  // E_INVALIDARG for an empty path or class or another format.
  HResult MakeMsgFileMessage(const std::u16string& msg_path, const std::u16string& message_class,
                             int format, std::unique_ptr<MsgMessage>& out);
};

}  // namespace bm

#include "msg/embedded_message.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "base/paths.h"
#include "base/text.h"
#include "msg/mimelib.h"
#include "writers/attachments.h"
#include "writers/item_body.h"
#include "writers/value_format.h"

namespace bm {

namespace {
constexpr std::filesystem::perms kOwnerOnly = std::filesystem::perms::owner_all;
}  // namespace

HResult ComposeMessageFile(Mimelib& mimelib, const ComposeInputs& in) {
  return mimelib.ComposeEmlFile(in.eml_path, in.body_file_path, in.sender_text, in.to_list,
                                in.date_text, in.body_kind, in.attachment_paths, in.subject,
                                in.cc_list, in.bcc_list);
}

bool ComposeEmbeddedMessage(const pst::Store& store, const pst::Message& message,
                            const std::u16string& eml_path, int depth) {
  if (depth > kMaxEmbeddedDepth) return false;
  const Result<mapi::EmailRecord> record = mapi::ReadEmailRecord(store, message);
  if (!record) return false;
  // The level's own folder: its body file and attachments cannot meet the files of the
  // message around it, whatever they are called.
  const std::filesystem::path eml = ToPath(eml_path);
  const std::u16string level_folder =
      WithTrailingSeparator(FromPath(eml.parent_path() / ("xxxembedded" + std::to_string(depth))));
  std::error_code error;
  std::filesystem::create_directories(ToPath(level_folder), error);
  // Working folders are the user's alone, like the temp folder that holds them.
  if (!error) std::filesystem::permissions(ToPath(level_folder), kOwnerOnly, error);
  if (error) return false;
  const std::u16string files_folder = WithTrailingSeparator(JoinPath(level_folder, u"files"));
  std::filesystem::create_directories(ToPath(files_folder), error);
  if (!error) std::filesystem::permissions(ToPath(files_folder), kOwnerOnly, error);
  if (error) return false;

  const EmailTexts texts = ReadEmailTexts(*record);
  const ItemBody body = EmailBody(record->bodies);
  const Result<std::u16string> body_path =
      WriteBodyFile(level_folder, BodyFileName(0, body.kind()), body.record);
  if (!body_path) return false;

  RecipientLists recipients;
  CollectRecipients(record->recipients, recipients);

  AttachmentContext context;
  context.temp_folder_path = files_folder;
  context.conversion_mode = true;
  context.store = &store;
  context.compose_embedded = [&store, depth](const pst::Message& inner,
                                             const std::u16string& path) {
    return ComposeEmbeddedMessage(store, inner, path, depth + 1);
  };

  ComposeInputs inputs;
  inputs.eml_path = eml_path;
  inputs.body_file_path = *body_path;
  inputs.sender_text = SenderText(texts.sender_name, texts.sender_address);
  inputs.to_list = recipients.to;
  inputs.cc_list = recipients.cc;
  inputs.bcc_list = recipients.bcc;
  inputs.date_text = RewriteDateText(texts.common.creation_time);
  inputs.body_kind = BodyKindText(body.kind());
  const AttachmentFiles attachments = ExportAttachments(context, message, record->attachments);
  for (const std::u16string& path : attachments.paths) {
    if (!path.empty()) inputs.attachment_paths.push_back(path);
  }
  inputs.subject = texts.common.subject;
  std::unique_ptr<Mimelib> mimelib;
  if (Failed(Mimelib::Create(mimelib))) return false;
  return Succeeded(ComposeMessageFile(*mimelib, inputs));
}

EmbeddedComposer EmbeddedComposerFor(const pst::Store& store) {
  return [&store](const pst::Message& message, const std::u16string& eml_path) {
    return ComposeEmbeddedMessage(store, message, eml_path, 1);
  };
}

}  // namespace bm
